// Class registration in the registry store (HKEY_CLASSES_ROOT), as "-RegServer" and
// DllRegisterServer write it:
//
//   CLSID\{clsid}                      (default) = description
//   CLSID\{clsid}\ProgID               (default) = prog id
//   CLSID\{clsid}\InprocServer32       (default) = library path, ThreadingModel = "Apartment"...
//   CLSID\{clsid}\LocalServer32        (default) = program path, BusName = "com.hox.Zorrun",
//                                      ObjectName = "IZor"
//   <prog id>                          (default) = description
//   <prog id>\CLSID                    (default) = {clsid}
//
// Each registration is one transaction of the store: a process killed half-way leaves the old
// registration or the new one, never half of one. The functions return S_OK, or E_FAIL when the
// store could not be written (E_INVALIDARG for empty required texts).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/com/guid.h"
#include "platform/com/hresult.h"

namespace platform::com {

struct InprocRegistration {
    CLSID clsid;
    std::string prog_id;  // may be empty
    std::string description;
    std::string library_path;  // absolute path of the shared library
    std::string threading_model = "Apartment";
};

// A class served by a program over the session bus. The program owns `bus_name`; the factory
// object is the bus name as a path ("/com/hox/Zorrun"), the object is that path plus
// "/" + `object_name` ("/com/hox/Zorrun/IZor").
struct LocalRegistration {
    CLSID clsid;
    std::string prog_id;
    std::string description;
    std::string program_path;  // started with "-Embedding" when the bus name has no owner
    std::string bus_name;
    std::string object_name;
};

// A library's type library, as a host looks it up: its name, version and file, and the
// interfaces it describes. No type library file exists here (the interfaces are compiled into
// the library, which the keys name as the file); the keys are what a host or a look at the
// store finds.
//
//   TypeLib\{libid}\<version>               (default) = description
//   TypeLib\{libid}\<version>\0\win32       (default) = library path
//   TypeLib\{libid}\<version>\FLAGS         (default) = "0"
//   TypeLib\{libid}\<version>\HELPDIR       (default) = the library's folder
//   Interface\{iid}                          (default) = interface name
//   Interface\{iid}\TypeLib                  (default) = {libid}, Version = <version>
struct TypeLibRegistration {
    GUID libid;
    std::string version = "1.0";
    std::string description;
    std::string library_path;
    std::vector<std::pair<IID, std::string>> interfaces;
};

HRESULT register_inproc_server(const InprocRegistration& registration);
HRESULT register_local_server(const LocalRegistration& registration);
// Removes the class key and the prog id's key (when given). S_OK also when nothing was there.
HRESULT unregister_class(const CLSID& clsid, std::string_view prog_id);
HRESULT register_type_library(const TypeLibRegistration& registration);
// Removes the version's key and the interfaces' keys, and the library's key when no other
// version of it is left. S_OK also when nothing was there.
HRESULT unregister_type_library(const TypeLibRegistration& registration);

// What the store says about a class; nullopt when the class key or the server key is missing.
std::optional<InprocRegistration> find_inproc_registration(const CLSID& clsid);
std::optional<LocalRegistration> find_local_registration(const CLSID& clsid);
// The class id registered for a prog id.
std::optional<CLSID> clsid_from_prog_id(std::string_view prog_id);

// The absolute path of the binary (executable or shared library) that holds `address`; for a
// DllRegisterServer that must name its own library. Empty when unknown.
std::string module_path_of(const void* address);

}  // namespace platform::com
