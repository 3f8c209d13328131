// SAFEARRAY: one-dimensional arrays of BSTRs, 16-bit and 32-bit integers, as the host
// interfaces hand them over. Created with safe_array_create_vector, freed with
// safe_array_destroy (which frees the BSTRs it holds). Elements are addressed by index from the
// lower bound; put copies the value in (a BSTR is copied), get copies it out (a BSTR copy that
// the caller frees).
#pragma once

#include <cstdint>

#include "platform/com/hresult.h"

namespace platform::com {

enum VarType : std::uint16_t {
    VT_EMPTY = 0,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_UNKNOWN = 13,
    VT_UI2 = 18,
    VT_UI4 = 19,
};

struct SafeArrayBound {
    std::uint32_t elements = 0;
    std::int32_t lower_bound = 0;
};

struct SAFEARRAY {
    std::uint16_t dimensions = 1;
    std::uint16_t features = 0;
    std::uint32_t element_size = 0;
    std::uint32_t locks = 0;
    void* data = nullptr;
    SafeArrayBound bounds[1];
    VarType type = VT_EMPTY;  // kept with the array so that get/put and destroy know the elements
};

// A vector of `elements` zeroed elements (null BSTRs); null for a type other than VT_BSTR,
// VT_I2, VT_UI2, VT_I4, VT_UI4, or when memory runs out.
SAFEARRAY* safe_array_create_vector(VarType type, std::int32_t lower_bound, std::uint32_t elements);
// Frees the array and the BSTRs in it. Null is S_OK.
HRESULT safe_array_destroy(SAFEARRAY* array);
// Dimensions count from 1; only 1 exists.
HRESULT safe_array_get_lbound(const SAFEARRAY* array, std::uint32_t dimension, std::int32_t* bound);
HRESULT safe_array_get_ubound(const SAFEARRAY* array, std::uint32_t dimension, std::int32_t* bound);
HRESULT safe_array_get_vartype(const SAFEARRAY* array, VarType* type);
std::uint32_t safe_array_get_dim(const SAFEARRAY* array);
std::uint32_t safe_array_get_elemsize(const SAFEARRAY* array);
// `index` points to one index. For put, `value` is the BSTR itself for VT_BSTR (its text is
// copied) and a pointer to the integer otherwise; for get, `value` points to a variable of the
// element type (a BSTR for VT_BSTR, which receives a copy the caller frees). DISP_E_BADINDEX
// outside the bounds, E_INVALIDARG for null array or index.
HRESULT safe_array_put_element(SAFEARRAY* array, const std::int32_t* index, const void* value);
HRESULT safe_array_get_element(const SAFEARRAY* array, const std::int32_t* index, void* value);
// A deep copy (BSTRs copied).
HRESULT safe_array_copy(const SAFEARRAY* array, SAFEARRAY** copy);

}  // namespace platform::com
