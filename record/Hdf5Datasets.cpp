// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/Hdf5Datasets.h"

#include "record/Hdf5Layout.h"

namespace Hdf5Datasets {

Hdf5Handle RestartType(hid_t memberType) {
    Hdf5Handle type(H5Tcreate(H5T_COMPOUND, sizeof(RestartRow)), H5Tclose);
    if (type.Valid() && (H5Tinsert(type.Id(), Hdf5Layout::kRestartSample,
                                   HOFFSET(RestartRow, sample), memberType) < 0 ||
                         H5Tinsert(type.Id(), Hdf5Layout::kRestartTime, HOFFSET(RestartRow, timeNs),
                                   memberType) < 0)) {
        return {};
    }
    return type;
}

Hdf5Handle MakeExtendible(hid_t file, const char* name, hid_t type, hsize_t columns,
                          hsize_t chunkRows, bool fCompress) {
    const int rank = columns == 0 ? 1 : 2;
    const hsize_t dims[] = {0, columns};
    const hsize_t most[] = {H5S_UNLIMITED, columns};
    const hsize_t chunk[] = {chunkRows, columns};
    const Hdf5Handle space(H5Screate_simple(rank, dims, most), H5Sclose);
    const Hdf5Handle properties(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
    if (!space.Valid() || !properties.Valid() || H5Pset_chunk(properties.Id(), rank, chunk) < 0 ||
        (fCompress && (H5Pset_shuffle(properties.Id()) < 0 ||
                       H5Pset_deflate(properties.Id(), Hdf5Layout::kGzipLevel) < 0))) {
        return {};
    }
    return {H5Dcreate2(file, name, type, space.Id(), H5P_DEFAULT, properties.Id(), H5P_DEFAULT),
            H5Dclose};
}

bool Append(hid_t dataset, hid_t memType, std::int64_t at, std::int64_t rows, hsize_t columns,
            const void* values) {
    const int rank = columns == 0 ? 1 : 2;
    const hsize_t extent[] = {static_cast<hsize_t>(at + rows), columns};
    const hsize_t start[] = {static_cast<hsize_t>(at), 0};
    const hsize_t count[] = {static_cast<hsize_t>(rows), columns};
    if (H5Dset_extent(dataset, extent) < 0) {
        return false;
    }
    const Hdf5Handle fileSpace(H5Dget_space(dataset), H5Sclose);
    const Hdf5Handle memSpace(H5Screate_simple(rank, count, nullptr), H5Sclose);
    return fileSpace.Valid() && memSpace.Valid() &&
           H5Sselect_hyperslab(fileSpace.Id(), H5S_SELECT_SET, start, nullptr, count, nullptr) >=
               0 &&
           H5Dwrite(dataset, memType, memSpace.Id(), fileSpace.Id(), H5P_DEFAULT, values) >= 0;
}

bool ReadRows(hid_t dataset, std::int64_t first, std::int64_t count, hsize_t width,
              std::int32_t* values) {
    const hsize_t start[] = {static_cast<hsize_t>(first), 0};
    const hsize_t shape[] = {static_cast<hsize_t>(count), width};
    const Hdf5Handle fileSpace(H5Dget_space(dataset), H5Sclose);
    const Hdf5Handle memSpace(H5Screate_simple(2, shape, nullptr), H5Sclose);
    return fileSpace.Valid() && memSpace.Valid() &&
           H5Sselect_hyperslab(fileSpace.Id(), H5S_SELECT_SET, start, nullptr, shape, nullptr) >=
               0 &&
           H5Dread(dataset, H5T_NATIVE_INT32, memSpace.Id(), fileSpace.Id(), H5P_DEFAULT, values) >=
               0;
}

}  // namespace Hdf5Datasets
