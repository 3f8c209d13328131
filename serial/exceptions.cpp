#include "serial/exceptions.h"

#include <new>

#include "serial/base_component.h"
#include "serial/errors.h"

namespace serial {

ESpException::ESpException(std::int32_t code) : std::runtime_error(ErrorText(code)), ErrorCode(code) {}
ESpException::ESpException(const std::string& message) : std::runtime_error(message), ErrorCode(0) {}
ESpException::ESpException(std::int32_t code, const std::string& message)
    : std::runtime_error(message), ErrorCode(code) {}

bool IsTapiCode(std::int32_t code) {
    if (code <= -13801 && code >= -13886) return code != -13804 && code != -13849;
    if (code <= -13928 && code >= -13932) return true;
    return code == -13935 || code == -13936 || code == -13942;
}

namespace {

bool IsInternalCode(std::int32_t code) {
    return code == -1006 || code == -7003 || code == -7006 || code == -7012;
}
bool IsProtocolCode(std::int32_t code) {
    return code == -6006 || code == -6008 || code == -6009;
}

}  // namespace

bool HasExceptionClass(std::int32_t code) {
    switch (code) {
#define ZOR_SERIAL_CASE(name, group, value) case value:
        ZOR_SERIAL_CODED_EXCEPTIONS(ZOR_SERIAL_CASE)
#undef ZOR_SERIAL_CASE
        return true;
        default:
            return IsInternalCode(code) || IsProtocolCode(code) || IsTapiCode(code);
    }
}

void RaiseResult(std::int32_t code) {
    if (code <= ecFirstSystemError && code >= ecLastSystemError) {
        if (code == ecOutOfMemory) throw std::bad_alloc();
        throw EInOutError(-code, ErrorText(code));
    }
    switch (code) {
#define ZOR_SERIAL_THROW(name, group, value) \
    case value:                              \
        throw name(code);
        ZOR_SERIAL_CODED_EXCEPTIONS(ZOR_SERIAL_THROW)
#undef ZOR_SERIAL_THROW
        default:
            break;
    }
    if (IsInternalCode(code)) throw EInternal(code);
    if (IsProtocolCode(code)) throw EProtocol(code);
    if (IsTapiCode(code)) throw ETapi(code);
    throw ESpException(std::string("Serial port exception"));
}

std::int32_t CheckResult(bool loading, std::int32_t result) {
    if (result >= 0 || loading) return result;
    RaiseResult(result);
}

std::int32_t CheckResult(const TSpBaseComponent* component, std::int32_t result) {
    return CheckResult(component != nullptr && component->Loading(), result);
}

}  // namespace serial
