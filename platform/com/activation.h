// Making objects by class id: class objects registered by this process, in-process servers
// (shared libraries loaded with dlopen) and local servers (programs reached over the session
// bus, see bus.h).
//
// co_create_instance looks, in this order, for
//   1. a class object this process registered with co_register_class_object for a matching
//      context (an object of this process is then handed out directly);
//   2. with CLSCTX_INPROC_SERVER: the library registered as InprocServer32. It is loaded once
//      (dlopen), its DllGetClassObject gives the factory; the handle is kept until
//      co_free_unused_libraries finds that its DllCanUnloadNow says S_OK;
//   3. with CLSCTX_LOCAL_SERVER: the program registered as LocalServer32. When its bus name has
//      no owner the program is started with "-Embedding" and the call waits (bounded, see
//      set_activation_timeout_ms) until the name is owned; then the server's factory makes the
//      object and a proxy for `iid` is returned. The proxy's calls go over the bus.
//
// Results: S_OK; REGDB_E_CLASSNOTREG (no class object and no registration for the contexts);
// CO_E_DLLNOTFOUND / CO_E_ERRORINDLL (library missing or without DllGetClassObject);
// CO_E_SERVER_EXEC_FAILURE (the program could not be started or did not take its bus name in
// time); E_NOINTERFACE (the object, or the proxies known to this process, lack `iid`); the
// factory's own failures.
//
// Thread contract: main thread only (the thread whose message loop serves the bus).
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/com/guid.h"
#include "platform/com/hresult.h"
#include "platform/com/registration.h"
#include "platform/com/unknown.h"

namespace platform::com {

enum ClassContext : std::uint32_t {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
    CLSCTX_ALL = CLSCTX_SERVER,
};

enum RegisterClassFlags : std::uint32_t {
    REGCLS_SINGLEUSE = 0,  // not supported: every class object here serves many objects
    REGCLS_MULTIPLEUSE = 1,
};

// The signatures of an in-process server's exports (extern "C", default visibility):
//   HRESULT DllGetClassObject(const CLSID* clsid, const IID* iid, void** object);
//   HRESULT DllCanUnloadNow();
//   HRESULT DllRegisterServer();
//   HRESULT DllUnregisterServer();
using DllGetClassObjectFn = HRESULT (*)(const CLSID*, const IID*, void**);
using DllCanUnloadNowFn = HRESULT (*)();

// Registers `factory` (an IClassFactory) for `clsid`. The layer keeps a reference until revoked.
//
// With CLSCTX_INPROC_SERVER the factory serves co_create_instance calls of this process.
// With CLSCTX_LOCAL_SERVER the class is also served on the session bus: its LocalServer32
// registration gives the bus name and object name (REGDB_E_CLASSNOTREG when there is none; use
// register_local_class_object to give them directly). The factory object and the object are
// exported, the bus name is claimed (E_ALREADY_EXISTS when another process owns it), and calls
// are served on this thread from its message loop, also inside nested modal loops.
// Only REGCLS_MULTIPLEUSE is supported (E_INVALIDARG otherwise).
HRESULT co_register_class_object(const CLSID& clsid, IUnknown* factory, std::uint32_t context,
                                 std::uint32_t flags, std::uint32_t* cookie);

// As co_register_class_object with CLSCTX_LOCAL_SERVER, the bus names given by the caller.
// Only clsid, bus_name and object_name of `where` are used.
HRESULT register_local_class_object(const LocalRegistration& where, IUnknown* factory, std::uint32_t* cookie);

// Undoes a registration: the bus name is given up and the objects are no longer served.
// CO_E_OBJNOTREG for an unknown cookie.
HRESULT co_revoke_class_object(std::uint32_t cookie);

HRESULT co_create_instance(const CLSID& clsid, IUnknown* outer, std::uint32_t context, const IID& iid,
                           void** object);
// The class object itself (in-process contexts only: this process's registrations and
// InprocServer32 libraries).
HRESULT co_get_class_object(const CLSID& clsid, std::uint32_t context, const IID& iid, void** object);

// Unloads every in-process server library whose DllCanUnloadNow says S_OK. A library is never
// closed while it says S_FALSE.
void co_free_unused_libraries();
// How many in-process server libraries are loaded now (for tests and diagnostics).
std::size_t loaded_library_count();

// True when argv holds the switch `name` after "/" or "-", in any letter case
// ("-Embedding", "/EMBEDDING", "-regserver").
bool command_line_switch(int argc, const char* const* argv, std::string_view name);

}  // namespace platform::com
