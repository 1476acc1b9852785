// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <memory>
#include <new>
#include <utility>

// The program's service objects are made one by one; one that cannot be made (memory ran out)
// is named in the fatal memory message and the program ends without showing its window.
struct CreationFailed {
    QString objectName;
};

// `failCreating` names an object whose creation fails as if memory had run out, to exercise
// that path.
template <typename T, typename... Args>
std::unique_ptr<T> Create(const QString& objectName, const QString& failCreating, Args&&... args) {
    try {
        if (objectName == failCreating) {
            throw std::bad_alloc();
        }
        return std::make_unique<T>(std::forward<Args>(args)...);
    } catch (const std::bad_alloc&) {
        throw CreationFailed{objectName};
    }
}
