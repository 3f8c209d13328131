// One-dimensional safe arrays.
#include "platform/com/safearray.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/com/bstr.h"

namespace platform::com {

namespace {

std::uint32_t element_size_of(VarType type) {
    switch (type) {
        case VT_I2:
        case VT_UI2:
            return 2;
        case VT_I4:
        case VT_UI4:
            return 4;
        case VT_BSTR:
            return sizeof(BSTR);
        default:
            return 0;
    }
}

// The element's offset, or -1 when the index is outside the bounds.
std::int64_t offset_of(const SAFEARRAY* a, std::int32_t index) {
    const std::int64_t k = std::int64_t{index} - a->bounds[0].lower_bound;
    if (k < 0 || k >= std::int64_t{a->bounds[0].elements}) return -1;
    return k * a->element_size;
}

}  // namespace

SAFEARRAY* safe_array_create_vector(VarType type, std::int32_t lower_bound, std::uint32_t elements) {
    const std::uint32_t size = element_size_of(type);
    if (size == 0) return nullptr;
    auto* a = new (std::nothrow) SAFEARRAY();
    if (!a) return nullptr;
    a->element_size = size;
    a->type = type;
    a->bounds[0] = {elements, lower_bound};
    if (elements > 0) {
        a->data = std::calloc(elements, size);
        if (!a->data) {
            delete a;
            return nullptr;
        }
    }
    return a;
}

HRESULT safe_array_destroy(SAFEARRAY* array) {
    if (!array) return S_OK;
    if (array->type == VT_BSTR && array->data) {
        auto* items = static_cast<BSTR*>(array->data);
        for (std::uint32_t i = 0; i < array->bounds[0].elements; ++i) sys_free_string(items[i]);
    }
    std::free(array->data);
    delete array;
    return S_OK;
}

HRESULT safe_array_get_lbound(const SAFEARRAY* array, std::uint32_t dimension, std::int32_t* bound) {
    if (!array || !bound) return E_INVALIDARG;
    if (dimension != 1) return DISP_E_BADINDEX;
    *bound = array->bounds[0].lower_bound;
    return S_OK;
}

HRESULT safe_array_get_ubound(const SAFEARRAY* array, std::uint32_t dimension, std::int32_t* bound) {
    if (!array || !bound) return E_INVALIDARG;
    if (dimension != 1) return DISP_E_BADINDEX;
    *bound =
        static_cast<std::int32_t>(std::int64_t{array->bounds[0].lower_bound} + array->bounds[0].elements - 1);
    return S_OK;
}

HRESULT safe_array_get_vartype(const SAFEARRAY* array, VarType* type) {
    if (!array || !type) return E_INVALIDARG;
    *type = array->type;
    return S_OK;
}

std::uint32_t safe_array_get_dim(const SAFEARRAY* array) {
    return array ? array->dimensions : 0;
}
std::uint32_t safe_array_get_elemsize(const SAFEARRAY* array) {
    return array ? array->element_size : 0;
}

HRESULT safe_array_put_element(SAFEARRAY* array, const std::int32_t* index, const void* value) {
    if (!array || !index) return E_INVALIDARG;
    const std::int64_t at = offset_of(array, *index);
    if (at < 0) return DISP_E_BADINDEX;
    char* slot = static_cast<char*>(array->data) + at;
    if (array->type == VT_BSTR) {
        BSTR source = static_cast<BSTR>(const_cast<void*>(value));
        BSTR copy = source ? sys_alloc_string_len(source, sys_string_len(source)) : nullptr;
        if (source && !copy) return E_OUTOFMEMORY;
        BSTR old;
        std::memcpy(&old, slot, sizeof old);
        sys_free_string(old);
        std::memcpy(slot, &copy, sizeof copy);
        return S_OK;
    }
    if (!value) return E_INVALIDARG;
    std::memcpy(slot, value, array->element_size);
    return S_OK;
}

HRESULT safe_array_get_element(const SAFEARRAY* array, const std::int32_t* index, void* value) {
    if (!array || !index || !value) return E_INVALIDARG;
    const std::int64_t at = offset_of(array, *index);
    if (at < 0) return DISP_E_BADINDEX;
    const char* slot = static_cast<const char*>(array->data) + at;
    if (array->type == VT_BSTR) {
        BSTR held;
        std::memcpy(&held, slot, sizeof held);
        BSTR copy = held ? sys_alloc_string_len(held, sys_string_len(held)) : nullptr;
        if (held && !copy) return E_OUTOFMEMORY;
        std::memcpy(value, &copy, sizeof copy);
        return S_OK;
    }
    std::memcpy(value, slot, array->element_size);
    return S_OK;
}

HRESULT safe_array_copy(const SAFEARRAY* array, SAFEARRAY** copy) {
    if (!array || !copy) return E_INVALIDARG;
    *copy = safe_array_create_vector(array->type, array->bounds[0].lower_bound, array->bounds[0].elements);
    if (!*copy) return E_OUTOFMEMORY;
    for (std::uint32_t i = 0; i < array->bounds[0].elements; ++i) {
        const std::int32_t index = array->bounds[0].lower_bound + static_cast<std::int32_t>(i);
        if (array->type == VT_BSTR) {
            const BSTR held = static_cast<const BSTR*>(array->data)[i];
            const HRESULT hr = safe_array_put_element(*copy, &index, held);
            if (failed(hr)) {
                safe_array_destroy(*copy);
                *copy = nullptr;
                return hr;
            }
        } else {
            std::memcpy(static_cast<char*>((*copy)->data) + std::size_t{i} * array->element_size,
                        static_cast<const char*>(array->data) + std::size_t{i} * array->element_size,
                        array->element_size);
        }
    }
    return S_OK;
}

}  // namespace platform::com
