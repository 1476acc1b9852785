// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/BoardUse.h"

bool BoardUse::Take(User user) {
    if (holder != User::None && holder != user) {
        return false;
    }
    if (holder != user) {
        holder = user;
        emit Changed();
    }
    return true;
}

void BoardUse::Release(User user) {
    if (holder == user && user != User::None) {
        holder = User::None;
        emit Changed();
    }
}
