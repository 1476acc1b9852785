// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/Hdf5Attributes.h"

#include <cstring>
#include <memory>

#include "record/Hdf5Handle.h"

namespace Hdf5Attributes {

namespace {

// No attribute of a recording comes near this; a larger one is no attribute of ours.
constexpr hsize_t kMostElements = 64;
constexpr std::size_t kMostTextBytes = 4096;

Hdf5Handle Space(std::span<const hsize_t> dims) {
    if (dims.empty()) {
        return {H5Screate(H5S_SCALAR), H5Sclose};
    }
    return {H5Screate_simple(static_cast<int>(dims.size()), dims.data(), nullptr), H5Sclose};
}

// The attribute `name` of `type` and `space`, replacing one of the same name.
bool Write(hid_t object, const char* name, hid_t type, const Hdf5Handle& space, hid_t memType,
           const void* value) {
    if (!space.Valid() || (H5Aexists(object, name) > 0 && H5Adelete(object, name) < 0)) {
        return false;
    }
    Hdf5Handle attribute(H5Acreate2(object, name, type, space.Id(), H5P_DEFAULT, H5P_DEFAULT),
                         H5Aclose);
    return attribute.Valid() && H5Awrite(attribute.Id(), memType, value) >= 0 && attribute.Close();
}

Hdf5Handle TextType(std::size_t size) {
    Hdf5Handle type(H5Tcopy(H5T_C_S1), H5Tclose);
    if (!type.Valid() || H5Tset_size(type.Id(), size) < 0 ||
        H5Tset_cset(type.Id(), H5T_CSET_UTF8) < 0 ||
        (size != H5T_VARIABLE && H5Tset_strpad(type.Id(), H5T_STR_NULLPAD) < 0)) {
        return {};
    }
    return type;
}

// The attribute `name` when it exists, with its type and the number of its elements.
struct Opened {
    Hdf5Handle attribute;
    Hdf5Handle type;
    hssize_t elements = -1;
};

Opened Open(hid_t object, const char* name, H5T_class_t typeClass) {
    Opened opened;
    if (H5Aexists(object, name) <= 0) {
        return opened;
    }
    opened.attribute = Hdf5Handle(H5Aopen(object, name, H5P_DEFAULT), H5Aclose);
    if (!opened.attribute.Valid()) {
        return opened;
    }
    opened.type = Hdf5Handle(H5Aget_type(opened.attribute.Id()), H5Tclose);
    const Hdf5Handle space(H5Aget_space(opened.attribute.Id()), H5Sclose);
    if (opened.type.Valid() && space.Valid() && H5Tget_class(opened.type.Id()) == typeClass &&
        H5Sget_simple_extent_ndims(space.Id()) <= 1) {
        opened.elements = H5Sget_simple_extent_npoints(space.Id());
    }
    return opened;
}

}  // namespace

bool WriteText(hid_t object, const char* name, std::string_view text) {
    const Hdf5Handle type = TextType(H5T_VARIABLE);
    const std::string held(text);
    const char* value = held.c_str();
    return type.Valid() && Write(object, name, type.Id(), Space({}), type.Id(), &value);
}

bool WriteFixedText(hid_t object, const char* name, std::size_t length, std::string_view text) {
    const Hdf5Handle type = TextType(length);
    if (!type.Valid() || text.size() > length) {
        return false;
    }
    std::string value(text);
    value.resize(length, '\0');
    if (H5Aexists(object, name) <= 0) {
        return Write(object, name, type.Id(), Space({}), type.Id(), value.data());
    }
    Hdf5Handle attribute(H5Aopen(object, name, H5P_DEFAULT), H5Aclose);
    return attribute.Valid() && H5Awrite(attribute.Id(), type.Id(), value.data()) >= 0 &&
           attribute.Close();
}

bool WriteInteger(hid_t object, const char* name, std::int64_t value, hid_t type) {
    return Write(object, name, type, Space({}), H5T_NATIVE_INT64, &value);
}

bool WriteIntegers(hid_t object, const char* name, std::span<const int> values) {
    const hsize_t dims[] = {values.size()};
    return Write(object, name, H5T_STD_I32LE, Space(dims), H5T_NATIVE_INT, values.data());
}

bool WriteDouble(hid_t object, const char* name, double value) {
    return Write(object, name, H5T_IEEE_F64LE, Space({}), H5T_NATIVE_DOUBLE, &value);
}

std::optional<std::string> ReadText(hid_t object, const char* name) {
    const Opened opened = Open(object, name, H5T_STRING);
    if (opened.elements != 1) {
        return std::nullopt;
    }
    const htri_t variable = H5Tis_variable_str(opened.type.Id());
    if (variable > 0) {
        const Hdf5Handle type = TextType(H5T_VARIABLE);
        char* value = nullptr;
        if (!type.Valid() || H5Aread(opened.attribute.Id(), type.Id(), &value) < 0 ||
            value == nullptr) {
            return std::nullopt;
        }
        const std::unique_ptr<char, herr_t (*)(void*)> owned(value, H5free_memory);
        return std::string(value, strnlen(value, kMostTextBytes));
    }
    const std::size_t size = H5Tget_size(opened.type.Id());
    if (variable < 0 || size == 0 || size > kMostTextBytes) {
        return std::nullopt;
    }
    const Hdf5Handle type = TextType(size);
    std::string value(size, '\0');
    if (!type.Valid() || H5Aread(opened.attribute.Id(), type.Id(), value.data()) < 0) {
        return std::nullopt;
    }
    value.resize(strnlen(value.data(), size));
    return value;
}

std::optional<std::int64_t> ReadInteger(hid_t object, const char* name) {
    const std::optional<std::vector<std::int64_t>> values = ReadIntegers(object, name);
    if (!values || values->size() != 1) {
        return std::nullopt;
    }
    return values->front();
}

std::optional<std::vector<std::int64_t>> ReadIntegers(hid_t object, const char* name) {
    const Opened opened = Open(object, name, H5T_INTEGER);
    if (opened.elements < 0 || static_cast<hsize_t>(opened.elements) > kMostElements) {
        return std::nullopt;
    }
    std::vector<std::int64_t> values(static_cast<std::size_t>(opened.elements));
    if (H5Aread(opened.attribute.Id(), H5T_NATIVE_INT64, values.data()) < 0) {
        return std::nullopt;
    }
    return values;
}

std::optional<double> ReadDouble(hid_t object, const char* name) {
    const Opened opened = Open(object, name, H5T_FLOAT);
    double value = 0.0;
    if (opened.elements != 1 || H5Aread(opened.attribute.Id(), H5T_NATIVE_DOUBLE, &value) < 0) {
        return std::nullopt;
    }
    return value;
}

}  // namespace Hdf5Attributes
