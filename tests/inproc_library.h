// The built libplexavo.so loaded with dlopen, its exports found by name the
// way an outside caller finds them: the in-process tests and benchmarks
// drive the library only through these.
#ifndef PLEXAVO_TESTS_INPROC_LIBRARY_H_
#define PLEXAVO_TESTS_INPROC_LIBRARY_H_

#include <dlfcn.h>
#include <plexavo/plexavo.h>

#include <cstdlib>
#include <string>

namespace testing_support {

// Every export a caller uses, each named once.
// clang-format off
#define PLEXAVO_INPROC_EXPORTS(X)                                                       \
  X(DllRegisterServer) X(DllUnregisterServer) X(DllGetClassObject) X(DllCanUnloadNow)  \
  X(PlxVariantClear) X(PlxTextAlloc) X(PlxTextFree) X(PlxRowsetCreate)                 \
  X(PlxRowsetAddField) X(PlxRowsetAddRow) X(PlxRowsetFieldCount) X(PlxRowsetFieldName) \
  X(PlxRowsetFieldType) X(PlxRowsetRecordCount) X(PlxRowsetGetValue) X(PlxRowsetFree)  \
  X(PlxInvokeDryRun)
// clang-format on

struct InprocLibrary {
  std::string error;  // why the library or an export is missing; empty when all is there
#define PLEXAVO_INPROC_SLOT(name) decltype(&::name) name = nullptr;
  PLEXAVO_INPROC_EXPORTS(PLEXAVO_INPROC_SLOT)
#undef PLEXAVO_INPROC_SLOT
};

// Loads $PLEXAVO_INPROC_LIBRARY when set, else `path`, on the first call;
// never closed, as the library answers DllCanUnloadNow with "not now".
inline const InprocLibrary& LoadInproc(const char* path) {
  static const InprocLibrary lib = [path] {
    InprocLibrary l;
    const char* env = std::getenv("PLEXAVO_INPROC_LIBRARY");
    void* handle = dlopen(env != nullptr && *env != '\0' ? env : path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return InprocLibrary{dlerror()};
#define PLEXAVO_INPROC_BIND(name)                                    \
  l.name = reinterpret_cast<decltype(l.name)>(dlsym(handle, #name)); \
  if (l.name == nullptr) l.error += " missing " #name;
    PLEXAVO_INPROC_EXPORTS(PLEXAVO_INPROC_BIND)
#undef PLEXAVO_INPROC_BIND
    return l;
  }();
  return lib;
}

}  // namespace testing_support

#endif  // PLEXAVO_TESTS_INPROC_LIBRARY_H_
