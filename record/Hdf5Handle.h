// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <hdf5.h>

// One HDF5 identifier (a file, dataset, dataspace, type, attribute or property list) that
// closes itself, so no path through the recording's code leaves one open. The library's own
// error printing is switched off once: the program says what went wrong in its own words.
class Hdf5Handle {
public:
    using Closer = herr_t (*)(hid_t);

    Hdf5Handle() = default;
    // Takes `id` over; a negative id (a failed call) gives an invalid handle.
    Hdf5Handle(hid_t id, Closer closer);
    ~Hdf5Handle();
    Hdf5Handle(Hdf5Handle&& other) noexcept;
    Hdf5Handle& operator=(Hdf5Handle&& other) noexcept;
    Hdf5Handle(const Hdf5Handle&) = delete;
    Hdf5Handle& operator=(const Hdf5Handle&) = delete;

    hid_t Id() const { return id; }
    bool Valid() const { return id >= 0; }
    // False when the library could not close it (a file whose last writes failed).
    bool Close();

    // Keeps the library from printing its error stack on standard error, and from closing
    // files at the program's exit; called before the library's first use.
    static void Quiet();

private:
    hid_t id = H5I_INVALID_HID;
    Closer closer = nullptr;
};
