// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/Hdf5Handle.h"

#include <utility>

Hdf5Handle::Hdf5Handle(hid_t handleId, Closer close) : id(handleId), closer(close) {}

Hdf5Handle::~Hdf5Handle() {
    Close();
}

Hdf5Handle::Hdf5Handle(Hdf5Handle&& other) noexcept
    : id(std::exchange(other.id, H5I_INVALID_HID)), closer(other.closer) {}

Hdf5Handle& Hdf5Handle::operator=(Hdf5Handle&& other) noexcept {
    if (this != &other) {
        Close();
        id = std::exchange(other.id, H5I_INVALID_HID);
        closer = other.closer;
    }
    return *this;
}

bool Hdf5Handle::Close() {
    if (id < 0) {
        return true;
    }
    const herr_t status = closer(std::exchange(id, H5I_INVALID_HID));
    return status >= 0;
}

void Hdf5Handle::Quiet() {
    // Also before the library's first use: it must not close files at the program's exit. A
    // file whose writes failed cannot be closed again then (the library crashes); every
    // file this program opens it closes itself.
    static const bool fQuiet = [] {
        H5dont_atexit();
        return H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr) >= 0;
    }();
    static_cast<void>(fQuiet);
}
