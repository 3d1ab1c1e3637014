// Tests of the in-process component: the built libplexavo.so is loaded
// with dlopen and driven only through its C ABI, the way an outside caller
// uses it; the registration-file editing and the C++ host path are tested
// directly as well.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <plexavo/plexavo.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "boundary/dispatch.h"
#include "boundary/inproc.h"
#include "boundary/inproc_registry.h"
#include "boundary/interfaces.h"
#include "data/connection.h"
#include "data/locks.h"
#include "tests/test_company.h"

#ifndef PLEXAVO_INPROC_LIBRARY
#error "PLEXAVO_INPROC_LIBRARY must name the built libplexavo.so"
#endif

namespace boundary {
namespace {

using testing_support::TestCompany;

constexpr int32_t kReadRight = 0x60030015;
constexpr int32_t kCheckRight = 0x60030018;
constexpr int32_t kReaderAddNew = 0x60030001;
constexpr int32_t kGetRstUser = 0x6003000B;

// ---- The loaded library -----------------------------------------------------

struct Library {
  void* handle = nullptr;
  std::string error;
  decltype(&DllRegisterServer) RegisterServer = nullptr;
  decltype(&DllUnregisterServer) UnregisterServer = nullptr;
  decltype(&DllGetClassObject) GetClassObject = nullptr;
  decltype(&DllCanUnloadNow) CanUnloadNow = nullptr;
  decltype(&PlxVariantClear) VariantClear = nullptr;
  decltype(&PlxTextAlloc) TextAlloc = nullptr;
  decltype(&PlxTextFree) TextFree = nullptr;
  decltype(&PlxRowsetCreate) RowsetCreate = nullptr;
  decltype(&PlxRowsetAddField) RowsetAddField = nullptr;
  decltype(&PlxRowsetAddRow) RowsetAddRow = nullptr;
  decltype(&PlxRowsetFieldCount) RowsetFieldCount = nullptr;
  decltype(&PlxRowsetFieldName) RowsetFieldName = nullptr;
  decltype(&PlxRowsetFieldType) RowsetFieldType = nullptr;
  decltype(&PlxRowsetRecordCount) RowsetRecordCount = nullptr;
  decltype(&PlxRowsetGetValue) RowsetGetValue = nullptr;
  decltype(&PlxRowsetFree) RowsetFree = nullptr;
  decltype(&PlxInvokeDryRun) InvokeDryRun = nullptr;
};

template <typename F>
void Bind(Library& lib, F& slot, const char* name) {
  slot = reinterpret_cast<F>(dlsym(lib.handle, name));
  if (slot == nullptr) lib.error += std::string(" missing ") + name;
}

// Loaded once and never closed: the library answers DllCanUnloadNow with
// "not now".
const Library& Lib() {
  static const Library lib = [] {
    Library l;
    l.handle = dlopen(PLEXAVO_INPROC_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (l.handle == nullptr) {
      l.error = dlerror();
      return l;
    }
    Bind(l, l.RegisterServer, "DllRegisterServer");
    Bind(l, l.UnregisterServer, "DllUnregisterServer");
    Bind(l, l.GetClassObject, "DllGetClassObject");
    Bind(l, l.CanUnloadNow, "DllCanUnloadNow");
    Bind(l, l.VariantClear, "PlxVariantClear");
    Bind(l, l.TextAlloc, "PlxTextAlloc");
    Bind(l, l.TextFree, "PlxTextFree");
    Bind(l, l.RowsetCreate, "PlxRowsetCreate");
    Bind(l, l.RowsetAddField, "PlxRowsetAddField");
    Bind(l, l.RowsetAddRow, "PlxRowsetAddRow");
    Bind(l, l.RowsetFieldCount, "PlxRowsetFieldCount");
    Bind(l, l.RowsetFieldName, "PlxRowsetFieldName");
    Bind(l, l.RowsetFieldType, "PlxRowsetFieldType");
    Bind(l, l.RowsetRecordCount, "PlxRowsetRecordCount");
    Bind(l, l.RowsetGetValue, "PlxRowsetGetValue");
    Bind(l, l.RowsetFree, "PlxRowsetFree");
    Bind(l, l.InvokeDryRun, "PlxInvokeDryRun");
    return l;
  }();
  return lib;
}

std::string LibraryRealPath() {
  char* real = realpath(PLEXAVO_INPROC_LIBRARY, nullptr);
  std::string path = real != nullptr ? real : "";
  free(real);
  return path;
}

// ---- Variants built with the library's own allocator --------------------------

PlxVariant Text(const char* s) { return {PLX_VT_TEXT, {.text = Lib().TextAlloc(s)}}; }
PlxVariant Bool(bool b) { return {PLX_VT_BOOL, {.boolean = b ? PLX_TRUE : PLX_FALSE}}; }
PlxVariant Int(int32_t i) { return {PLX_VT_I4, {.i4 = i}}; }
PlxVariant Cy(int64_t scaled) { return {PLX_VT_CY, {.cy = scaled}}; }
PlxVariant Date(double days) { return {PLX_VT_DATE, {.date = days}}; }
PlxVariant Rows(PlxRowset* rs) { return {PLX_VT_ROWSET, {.rowset = rs}}; }
PlxVariant Empty() { return PlxVariant{}; }

// An argument array that clears its variants at the end.
struct Vars {
  std::vector<PlxVariant> v;
  Vars(std::initializer_list<PlxVariant> init) : v(init) {}
  ~Vars() {
    for (PlxVariant& x : v) Lib().VariantClear(&x);
  }
  Vars(const Vars&) = delete;
  Vars& operator=(const Vars&) = delete;
  PlxVariant* data() { return v.data(); }
  int32_t size() const { return static_cast<int32_t>(v.size()); }
  PlxVariant& operator[](size_t i) { return v[i]; }
};

struct Cleared {
  PlxVariant v{};
  ~Cleared() { Lib().VariantClear(&v); }
};

std::string TextOf(const PlxVariant& v) {
  EXPECT_EQ(v.vt, PLX_VT_TEXT);
  return v.vt == PLX_VT_TEXT && v.v.text != nullptr ? v.v.text : "<not text>";
}

// ---- Objects --------------------------------------------------------------------

struct ObjectReleaser {
  void operator()(PlxObject* obj) const {
    if (obj != nullptr) {
      EXPECT_EQ(obj->vtbl->Release(obj), PLX_S_OK);
    }
  }
};
using Object = std::unique_ptr<PlxObject, ObjectReleaser>;

Object Create(const PLX_CLSID& clsid, const char* login) {
  void* ppv = nullptr;
  EXPECT_EQ(Lib().GetClassObject(&clsid, &PLX_IID_ClassFactory, &ppv), PLX_S_OK);
  auto* factory = static_cast<PlxClassFactory*>(ppv);
  if (factory == nullptr) return nullptr;
  PlxObject* obj = nullptr;
  EXPECT_EQ(factory->vtbl->CreateInstance(factory, login, &obj), PLX_S_OK);
  EXPECT_EQ(factory->vtbl->Release(factory), PLX_S_OK);
  return Object(obj);
}

PLXRESULT Call(PlxObject* obj, int32_t dispid, Vars& args, PlxVariant* result) {
  return obj->vtbl->Invoke(obj, dispid, args.data(), args.size(), result);
}

class InprocTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Lib().error.empty()) << Lib().error; }
};

// ---- Registration file ------------------------------------------------------

class RegistrationTest : public InprocTest {
 protected:
  void SetUp() override {
    InprocTest::SetUp();
    if (HasFatalFailure()) return;
    char tmpl[] = "/tmp/plexavo-reg-XXXXXX";
    dir_ = mkdtemp(tmpl);
    path_ = dir_ + "/registry.ini";
    setenv("PLEXAVO_REGISTRY", path_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("PLEXAVO_REGISTRY");
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  void Write(const std::string& text) const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << text;
  }
  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // What DllRegisterServer appends, each section after a blank line.
  static std::string Ours(const std::string& lib) {
    return "\n[Class\\{C3EEEF35-DB3F-40F4-9DDA-B06F74B28050}]\n"
           "ProgID=Plexavo.MF_OutBill\n"
           "Library=" +
           lib +
           "\n"
           "ThreadingModel=Apartment\n"
           "Transaction=Supported\n"
           "TypeLib={2B8EB767-202E-4FC0-A437-5C8B00ABBFCA}\n"
           "\n[ProgID\\Plexavo.MF_OutBill]\n"
           "Class={C3EEEF35-DB3F-40F4-9DDA-B06F74B28050}\n"
           "\n[Class\\{1D097D58-423B-4596-8E6F-C9AB8998E3BC}]\n"
           "ProgID=Plexavo.MF_OutBillE\n"
           "Library=" +
           lib +
           "\n"
           "ThreadingModel=Apartment\n"
           "Transaction=Required\n"
           "TypeLib={2B8EB767-202E-4FC0-A437-5C8B00ABBFCA}\n"
           "\n[ProgID\\Plexavo.MF_OutBillE]\n"
           "Class={1D097D58-423B-4596-8E6F-C9AB8998E3BC}\n"
           "\n[TypeLib\\{2B8EB767-202E-4FC0-A437-5C8B00ABBFCA}]\n"
           "Name=Plexavo\n"
           "Version=1.8\n"
           "HelpString=MF_生产领料单\n"
           "Library=" +
           lib + "\n";
  }

  std::string dir_;
  std::string path_;
};

const char kForeign[] =
    "; components installed on this machine\n"
    "[Class\\{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}]\n"
    "ProgID=Other.Component\n"
    "Library=/opt/other/libother.so\n"
    "ThreadingModel=Both\n"
    "\n"
    "[ProgID\\Other.Component]\n"
    "Class={0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}\n";

TEST_F(RegistrationTest, RegisterAddsBothClassesAndUnregisterRestoresTheFile) {
  const std::string lib = LibraryRealPath();
  ASSERT_FALSE(lib.empty());
  ASSERT_EQ(lib.front(), '/');
  Write(kForeign);

  ASSERT_EQ(Lib().RegisterServer(), PLX_S_OK);
  const std::string registered = Read();
  EXPECT_EQ(registered, std::string(kForeign) + Ours(lib));

  ASSERT_EQ(Lib().RegisterServer(), PLX_S_OK);
  EXPECT_EQ(Read(), registered);

  ASSERT_EQ(Lib().UnregisterServer(), PLX_S_OK);
  EXPECT_EQ(Read(), kForeign);
  ASSERT_EQ(Lib().UnregisterServer(), PLX_S_OK);
  EXPECT_EQ(Read(), kForeign);
}

TEST_F(RegistrationTest, RegisterCreatesAMissingFileAndItsDirectory) {
  path_ = dir_ + "/etc/plexavo/registry.ini";
  setenv("PLEXAVO_REGISTRY", path_.c_str(), 1);
  ASSERT_EQ(Lib().UnregisterServer(), PLX_S_OK);
  EXPECT_FALSE(std::filesystem::exists(path_));  // nothing to remove, nothing created

  ASSERT_EQ(Lib().RegisterServer(), PLX_S_OK);
  EXPECT_EQ(Read(), Ours(LibraryRealPath()).substr(1));  // no blank line before the first
  ASSERT_EQ(Lib().UnregisterServer(), PLX_S_OK);
  EXPECT_EQ(Read(), "");
}

TEST_F(RegistrationTest, UnregisterKeepsWhatOthersAddedToOurSections) {
  const std::string lib = LibraryRealPath();
  Write(kForeign);
  ASSERT_EQ(Lib().RegisterServer(), PLX_S_OK);
  std::string text = Read();
  const std::string header = "[ProgID\\Plexavo.MF_OutBill]\n";
  size_t at = text.find(header);
  ASSERT_NE(at, std::string::npos);
  text.insert(at + header.size(), "; kept by the administrator\n");
  Write(text);

  ASSERT_EQ(Lib().UnregisterServer(), PLX_S_OK);
  EXPECT_EQ(Read(), std::string(kForeign) +
                        "\n[ProgID\\Plexavo.MF_OutBill]\n; kept by the administrator\n");
}

TEST_F(RegistrationTest, AnUnusableFileIsARegistrationError) {
  setenv("PLEXAVO_REGISTRY", dir_.c_str(), 1);  // a directory
  EXPECT_EQ(Lib().RegisterServer(), PLX_SELFREG_E_CLASS);
  EXPECT_EQ(Lib().UnregisterServer(), PLX_SELFREG_E_CLASS);
}

TEST(RegistryEditTest, ApplyThenRemoveRoundTrips) {
  const std::vector<inproc::RegSection> sections = {
      {"S\\{1}", {{"a", "1"}, {"b", "two"}}},
      {"T", {{"c", "3"}}},
  };
  struct Case {
    const char* name;
    const char* before;
    const char* applied;
    const char* removed;  // RemoveSections(applied)
  } cases[] = {
      {"empty file", "", "[S\\{1}]\na=1\nb=two\n\n[T]\nc=3\n", ""},
      {"no final line break", "x=1", "x=1\n\n[S\\{1}]\na=1\nb=two\n\n[T]\nc=3", "x=1"},
      {"trailing blank line kept", "[X]\nx=1\n\n",
       "[X]\nx=1\n\n\n[S\\{1}]\na=1\nb=two\n\n[T]\nc=3\n", "[X]\nx=1\n\n"},
      {"stale value rewritten, foreign key kept", "[s\\{1}]\nA = old\nkeep=me\n\n[T]\nc=3\n",
       "[s\\{1}]\na=1\nkeep=me\nb=two\n\n[T]\nc=3\n", "[s\\{1}]\nkeep=me\n"},
      {"already registered", "[S\\{1}]\na=1\nb=two\n\n[T]\nc=3\n",
       "[S\\{1}]\na=1\nb=two\n\n[T]\nc=3\n", ""},
      {"value without data", "[T]\nc\n", "[T]\nc=3\n\n[S\\{1}]\na=1\nb=two\n", ""},
      {"crlf file", "[X]\r\nx=1\r\n",
       "[X]\r\nx=1\r\n\r\n[S\\{1}]\r\na=1\r\nb=two\r\n\r\n[T]\r\nc=3\r\n", "[X]\r\nx=1\r\n"},
      {"foreign section between ours", "[S\\{1}]\na=1\n\n[X]\nx=1\n",
       "[S\\{1}]\na=1\nb=two\n\n[X]\nx=1\n\n[T]\nc=3\n", "\n[X]\nx=1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string applied = inproc::ApplySections(c.before, sections);
    EXPECT_EQ(applied, c.applied);
    EXPECT_EQ(inproc::ApplySections(applied, sections), applied);
    EXPECT_EQ(inproc::RemoveSections(applied, sections), c.removed);
  }
}

TEST(RegistryEditTest, RemoveLeavesFilesWithoutOurSectionsAlone) {
  const std::vector<inproc::RegSection> sections = {{"S", {{"a", "1"}}}};
  for (const char* text : {"", "x", "[X]\na=1\n", "\n\n[X]\r\na=1", "; [S]\n"}) {
    EXPECT_EQ(inproc::RemoveSections(text, sections), text);
  }
}

// ---- Class objects --------------------------------------------------------------

TEST_F(InprocTest, ClassObjectsOnlyForOurClassesAndFactoryInterface) {
  const PLX_GUID foreign = {{0x0F, 0x1E, 0x2D, 0x3C, 0x4B, 0x5A, 0x69, 0x78, 0x87, 0x96, 0xA5, 0xB4,
                             0xC3, 0xD2, 0xE1, 0xF0}};
  struct Case {
    const char* name;
    const PLX_CLSID* clsid;
    const PLX_IID* iid;
    PLXRESULT expected;
  } cases[] = {
      {"foreign class", &foreign, &PLX_IID_ClassFactory, PLX_CLASS_E_CLASSNOTAVAILABLE},
      {"type library id", &PLX_LIBID_Plexavo, &PLX_IID_ClassFactory, PLX_CLASS_E_CLASSNOTAVAILABLE},
      {"interface id as class", &PLX_IID_ClassFactory, &PLX_IID_ClassFactory,
       PLX_CLASS_E_CLASSNOTAVAILABLE},
      {"reader, foreign interface", &PLX_CLSID_MF_OutBill, &foreign, PLX_E_NOINTERFACE},
      {"writer, class id as interface", &PLX_CLSID_MF_OutBillE, &PLX_CLSID_MF_OutBillE,
       PLX_E_NOINTERFACE},
      {"no class id", nullptr, &PLX_IID_ClassFactory, PLX_E_POINTER},
      {"no interface id", &PLX_CLSID_MF_OutBill, nullptr, PLX_E_POINTER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int sentinel = 0;
    void* ppv = &sentinel;
    EXPECT_EQ(Lib().GetClassObject(c.clsid, c.iid, &ppv), c.expected);
    EXPECT_EQ(ppv, nullptr);
  }
  EXPECT_EQ(Lib().GetClassObject(&PLX_CLSID_MF_OutBill, &PLX_IID_ClassFactory, nullptr),
            PLX_E_POINTER);
  // The host's view of each class.
  for (const auto& [clsid, progid, transaction] :
       {std::tuple{&PLX_CLSID_MF_OutBill, "Plexavo.MF_OutBill",
                   host::TransactionAttribute::kSupports},
        std::tuple{&PLX_CLSID_MF_OutBillE, "Plexavo.MF_OutBillE",
                   host::TransactionAttribute::kRequires}}) {
    void* ppv = nullptr;
    ASSERT_EQ(Lib().GetClassObject(clsid, &PLX_IID_HostClassInfo, &ppv), PLX_S_OK);
    const auto* info = static_cast<const host::ClassInfo*>(ppv);
    EXPECT_EQ(info->progid, progid);
    EXPECT_EQ(info->transaction, transaction);
  }
  // A factory refuses missing pointers.
  void* ppv = nullptr;
  ASSERT_EQ(Lib().GetClassObject(&PLX_CLSID_MF_OutBill, &PLX_IID_ClassFactory, &ppv), PLX_S_OK);
  auto* factory = static_cast<PlxClassFactory*>(ppv);
  PlxObject* obj = reinterpret_cast<PlxObject*>(&ppv);
  EXPECT_EQ(factory->vtbl->CreateInstance(factory, nullptr, &obj), PLX_E_POINTER);
  EXPECT_EQ(obj, nullptr);
  EXPECT_EQ(factory->vtbl->CreateInstance(factory, "amy", nullptr), PLX_E_POINTER);
  EXPECT_EQ(factory->vtbl->Release(factory), PLX_S_OK);
  EXPECT_EQ(Lib().CanUnloadNow(), PLX_S_FALSE);
}

// ---- Objects on a company database --------------------------------------------

class InprocObjectTest : public InprocTest {
 protected:
  void SetUp() override {
    InprocTest::SetUp();
    if (HasFatalFailure()) return;
    company_.AddUser("amy", "Amy", "", {"MF0301"});
    company_.AddUser("bob", "Bob", "", {}, 7);
    company_.AddUser("carol", "Carol", "", {"MF0302", "MF0303", "MF0304"});
  }

  TestCompany company_;
};

TEST_F(InprocObjectTest, NamesAndIdsResolveOnlyToTheClassesOwnOperations) {
  Object reader = Create(PLX_CLSID_MF_OutBill, "amy");
  Object writer = Create(PLX_CLSID_MF_OutBillE, "amy");
  ASSERT_TRUE(reader && writer);
  struct Case {
    PlxObject* obj;
    const char* name;
    PLXRESULT hr;
    int32_t dispid;
  } cases[] = {
      {reader.get(), "ShopRst", PLX_S_OK, 0x6003001D},
      {reader.get(), "shoprst", PLX_S_OK, 0x6003001D},
      {reader.get(), "READRIGHT", PLX_S_OK, 0x60030015},
      {reader.get(), "AddNew", PLX_S_OK, 0x60030001},
      {reader.get(), "CheckRight", PLX_S_OK, 0x60030018},
      {reader.get(), "BillList", PLX_S_OK, 0x60030000},
      {writer.get(), "AddFromOutPlan", PLX_S_OK, 0x60030008},
      {writer.get(), "addnew", PLX_S_OK, 0x60030000},
      {writer.get(), "UnExecBill", PLX_S_OK, 0x60030007},
      {reader.get(), "AddFromOutPlan", PLX_DISP_E_MEMBERNOTFOUND, -1},
      {writer.get(), "ShopRst", PLX_DISP_E_MEMBERNOTFOUND, -1},
      {reader.get(), "", PLX_DISP_E_MEMBERNOTFOUND, -1},
      {reader.get(), "ShopRst ", PLX_DISP_E_MEMBERNOTFOUND, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int32_t dispid = 12345;
    EXPECT_EQ(c.obj->vtbl->GetIDsOfNames(c.obj, c.name, &dispid), c.hr);
    EXPECT_EQ(dispid, c.dispid);
  }
  // Calls by an id the class does not have are not found either.
  for (const auto& [obj, dispid] : std::vector<std::pair<PlxObject*, int32_t>>{
           {reader.get(), 0x6003001E},
           {reader.get(), 0},
           {reader.get(), -1},
           {writer.get(), 0x60030001},  // the reader's AddNew id; the writer has none
           {writer.get(), 0x60030009}}) {
    SCOPED_TRACE(dispid);
    Vars args{Text(company_.name().c_str())};
    Cleared result;
    result.v.vt = PLX_VT_I4;
    EXPECT_EQ(Call(obj, dispid, args, &result.v), PLX_DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(result.v.vt, PLX_VT_EMPTY);
  }
}

TEST_F(InprocObjectTest, RightsAnswerTheCallersRightsInTheirArguments) {
  struct Case {
    const char* login;
    bool read, edit, exec, unexec;
  } cases[] = {
      {"amy", true, false, false, false},
      {"bob", false, false, false, false},
      {"carol", false, false, false, false},  // no read right: nothing granted
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.login);
    Object reader = Create(PLX_CLSID_MF_OutBill, c.login);
    ASSERT_TRUE(reader);
    Vars args{
        Bool(!c.read), Bool(!c.edit), Bool(!c.exec), Bool(!c.unexec), Text(company_.name().c_str()),
        Text("")};
    Cleared result;
    ASSERT_EQ(Call(reader.get(), kCheckRight, args, &result.v), PLX_S_OK);
    EXPECT_EQ(result.v.vt, PLX_VT_BOOL);
    EXPECT_EQ(result.v.v.boolean, PLX_TRUE);
    const bool expected[] = {c.read, c.edit, c.exec, c.unexec};
    for (size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(args[i].vt, PLX_VT_BOOL) << i;
      EXPECT_EQ(args[i].v.boolean, expected[i] ? PLX_TRUE : PLX_FALSE) << i;
    }
    EXPECT_EQ(TextOf(args[4]), company_.name());
    EXPECT_EQ(TextOf(args[5]), "");

    Vars db{Text(company_.name().c_str())};
    char* db_text = db[0].v.text;
    Cleared read;
    read.v.vt = PLX_VT_I4;  // overwritten by the call
    ASSERT_EQ(Call(reader.get(), kReadRight, db, &read.v), PLX_S_OK);
    EXPECT_EQ(read.v.vt, PLX_VT_BOOL);
    EXPECT_EQ(read.v.v.boolean, c.read ? PLX_TRUE : PLX_FALSE);
    EXPECT_EQ(db[0].v.text, db_text);  // an in argument is left alone
  }
}

TEST_F(InprocObjectTest, ReaderAddNewRefusesAndKeepsTheId) {
  Object reader = Create(PLX_CLSID_MF_OutBill, "amy");
  ASSERT_TRUE(reader);
  PlxRowset* detail = Lib().RowsetCreate();
  ASSERT_EQ(Lib().RowsetAddField(detail, "ArtCode", PLX_VT_TEXT), PLX_S_OK);
  PlxVariant line[] = {Text("A-1")};
  ASSERT_EQ(Lib().RowsetAddRow(detail, line, 1), PLX_S_OK);
  Lib().VariantClear(&line[0]);
  Vars args{Text("B-0001"), Date(45000.0), Text("01"), Text(""),
            Text(""),       Text(""),      Text(""),   Text("amy"),
            Text("memo"),   Rows(detail),  Bool(true), Text(company_.name().c_str()),
            Text("")};
  Cleared result;
  ASSERT_EQ(Call(reader.get(), kReaderAddNew, args, &result.v), PLX_S_OK);
  EXPECT_EQ(result.v.vt, PLX_VT_BOOL);
  EXPECT_EQ(result.v.v.boolean, PLX_FALSE);
  EXPECT_EQ(TextOf(args[0]), "B-0001");
  EXPECT_EQ(TextOf(args[12]), "function kill");
  // The caller's rowset stays the caller's, untouched.
  ASSERT_EQ(args[9].vt, PLX_VT_ROWSET);
  EXPECT_EQ(args[9].v.rowset, detail);
  int32_t count = -1;
  ASSERT_EQ(Lib().RowsetRecordCount(detail, &count), PLX_S_OK);
  EXPECT_EQ(count, 1);
}

TEST_F(InprocObjectTest, RowsetResultsAreReadOnlyCopiesOwnedByTheCaller) {
  Object reader = Create(PLX_CLSID_MF_OutBill, "amy");
  ASSERT_TRUE(reader);
  Vars args{Text(company_.name().c_str()), Text("")};
  Cleared result;
  ASSERT_EQ(Call(reader.get(), kGetRstUser, args, &result.v), PLX_S_OK);
  ASSERT_EQ(result.v.vt, PLX_VT_ROWSET);
  PlxRowset* rs = result.v.v.rowset;
  ASSERT_NE(rs, nullptr);

  int32_t fields = -1, records = -1;
  ASSERT_EQ(Lib().RowsetFieldCount(rs, &fields), PLX_S_OK);
  ASSERT_EQ(Lib().RowsetRecordCount(rs, &records), PLX_S_OK);
  ASSERT_EQ(fields, 3);
  ASSERT_EQ(records, 3);
  const struct {
    const char* name;
    int32_t vt;
  } expected_fields[] = {
      {"LoginName", PLX_VT_TEXT}, {"UserName", PLX_VT_TEXT}, {"InnerID", PLX_VT_I4}};
  for (int32_t f = 0; f < 3; ++f) {
    const char* name = nullptr;
    int32_t vt = -1;
    ASSERT_EQ(Lib().RowsetFieldName(rs, f, &name), PLX_S_OK);
    ASSERT_EQ(Lib().RowsetFieldType(rs, f, &vt), PLX_S_OK);
    EXPECT_STREQ(name, expected_fields[f].name);
    EXPECT_EQ(vt, expected_fields[f].vt);
  }
  const struct {
    const char* login;
    const char* name;
    int32_t inner;
  } expected_rows[] = {{"amy", "Amy", 0}, {"bob", "Bob", 7}, {"carol", "Carol", 0}};
  for (int32_t r = 0; r < 3; ++r) {
    Cleared login, name, inner;
    ASSERT_EQ(Lib().RowsetGetValue(rs, r, 0, &login.v), PLX_S_OK);
    ASSERT_EQ(Lib().RowsetGetValue(rs, r, 1, &name.v), PLX_S_OK);
    ASSERT_EQ(Lib().RowsetGetValue(rs, r, 2, &inner.v), PLX_S_OK);
    EXPECT_EQ(TextOf(login.v), expected_rows[r].login);
    EXPECT_EQ(TextOf(name.v), expected_rows[r].name);
    EXPECT_EQ(inner.v.vt, PLX_VT_I4);
    EXPECT_EQ(inner.v.v.i4, expected_rows[r].inner);
  }
  PlxVariant row[] = {Text("dan"), Text("Dan"), Int(1)};
  EXPECT_EQ(Lib().RowsetAddRow(rs, row, 3), PLX_E_FAIL);
  EXPECT_EQ(Lib().RowsetAddField(rs, "Extra", PLX_VT_I4), PLX_E_FAIL);
  for (PlxVariant& v : row) Lib().VariantClear(&v);
  ASSERT_EQ(Lib().RowsetRecordCount(rs, &records), PLX_S_OK);
  EXPECT_EQ(records, 3);
}

// The reader's AddNew arguments for bill "B-1" with argument `at` replaced.
std::vector<PlxVariant> ReaderAddNewArgs(const std::string& db, size_t at, PlxVariant value) {
  std::vector<PlxVariant> args = {Text("B-1"),   Date(45000),   Text(""),    Text(""),
                                  Text(""),      Text(""),      Text(""),    Text(""),
                                  Text(""),      Rows(nullptr), Bool(false), Text(db.c_str()),
                                  Text("before")};
  Lib().VariantClear(&args[at]);
  args[at] = value;
  return args;
}

TEST_F(InprocObjectTest, BadArgumentsAreRefusedAndLeftUntouched) {
  Object reader = Create(PLX_CLSID_MF_OutBill, "amy");
  ASSERT_TRUE(reader);
  const std::string db = company_.name();
  struct Case {
    const char* name;
    int32_t dispid;
    std::vector<PlxVariant> (*args)(const std::string& db);
    int32_t argc_delta;  // added to the array's size to form argc
    PLXRESULT expected;
  } cases[] = {
      {"no arguments", kReadRight, [](const std::string&) { return std::vector<PlxVariant>{}; }, 0,
       PLX_DISP_E_BADPARAMCOUNT},
      {"one too many", kReadRight,
       [](const std::string& d) {
         return std::vector<PlxVariant>{Text(d.c_str()), Text("")};
       },
       0, PLX_DISP_E_BADPARAMCOUNT},
      {"negative count", kReadRight,
       [](const std::string& d) { return std::vector<PlxVariant>{Text(d.c_str())}; }, -2,
       PLX_DISP_E_BADPARAMCOUNT},
      {"int for text", kReadRight,
       [](const std::string&) { return std::vector<PlxVariant>{Int(1)}; }, 0,
       PLX_DISP_E_TYPEMISMATCH},
      {"empty for text", kReadRight,
       [](const std::string&) { return std::vector<PlxVariant>{Empty()}; }, 0,
       PLX_DISP_E_TYPEMISMATCH},
      {"text for an in/out bool", kCheckRight,
       [](const std::string& d) {
         return std::vector<PlxVariant>{Bool(false), Text("yes"),     Bool(false),
                                        Bool(false), Text(d.c_str()), Text("before")};
       },
       0, PLX_DISP_E_TYPEMISMATCH},
      {"int for the in/out error text", kCheckRight,
       [](const std::string& d) {
         return std::vector<PlxVariant>{Bool(false), Bool(false),     Bool(false),
                                        Bool(false), Text(d.c_str()), Int(0)};
       },
       0, PLX_DISP_E_TYPEMISMATCH},
      {"currency for a date", kReaderAddNew,
       [](const std::string& d) { return ReaderAddNewArgs(d, 1, Cy(450000000)); }, 0,
       PLX_DISP_E_TYPEMISMATCH},
      {"text for a rowset", kReaderAddNew,
       [](const std::string& d) { return ReaderAddNewArgs(d, 9, Text("")); }, 0,
       PLX_DISP_E_TYPEMISMATCH},
      {"date past year 9999", kReaderAddNew,
       [](const std::string& d) { return ReaderAddNewArgs(d, 1, Date(1e7)); }, 0, PLX_E_INVALIDARG},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<PlxVariant> args = c.args(db);
    const std::vector<PlxVariant> before = args;  // the same pointers, not copies
    Cleared result;
    result.v.vt = PLX_VT_I4;
    const int32_t argc = static_cast<int32_t>(args.size()) + c.argc_delta;
    EXPECT_EQ(reader->vtbl->Invoke(reader.get(), c.dispid, args.data(), argc, &result.v),
              c.expected);
    EXPECT_EQ(result.v.vt, PLX_VT_EMPTY);
    ASSERT_EQ(args.size(), before.size());
    for (size_t i = 0; i < args.size(); ++i) {
      EXPECT_EQ(args[i].vt, before[i].vt) << i;
      EXPECT_EQ(std::memcmp(&args[i].v, &before[i].v, sizeof args[i].v), 0) << i;
    }
    if (!args.empty() && args.back().vt == PLX_VT_TEXT && c.dispid != kReadRight) {
      EXPECT_EQ(TextOf(args.back()), "before");
    }
    for (PlxVariant& v : args) Lib().VariantClear(&v);
  }
}

TEST_F(InprocObjectTest, ObjectsAnswerOnlyOnTheirCreatingThread) {
  Object reader = Create(PLX_CLSID_MF_OutBill, "amy");
  ASSERT_TRUE(reader);
  PlxObject* obj = reader.get();
  const std::string db = company_.name();
  PLXRESULT invoked = PLX_S_OK, named = PLX_S_OK, released = PLX_S_OK;
  int32_t dispid = 99;
  std::thread other([&] {
    Vars args{Text(db.c_str())};
    invoked = obj->vtbl->Invoke(obj, kReadRight, args.data(), args.size(), nullptr);
    named = obj->vtbl->GetIDsOfNames(obj, "ReadRight", &dispid);
    released = obj->vtbl->Release(obj);
  });
  other.join();
  EXPECT_EQ(invoked, PLX_E_FAIL);
  EXPECT_EQ(named, PLX_E_FAIL);
  EXPECT_EQ(released, PLX_E_FAIL);
  EXPECT_EQ(dispid, 99);

  // Still alive and usable here.
  Vars args{Text(db.c_str())};
  Cleared result;
  ASSERT_EQ(Call(obj, kReadRight, args, &result.v), PLX_S_OK);
  EXPECT_EQ(result.v.v.boolean, PLX_TRUE);
}

// ---- Rowset C API ---------------------------------------------------------------

TEST_F(InprocTest, RowsetRoundTrip) {
  PlxRowset* rs = Lib().RowsetCreate();
  ASSERT_NE(rs, nullptr);
  const struct {
    const char* name;
    int32_t vt;
  } fields[] = {{"Code", PLX_VT_TEXT},
                {"Day", PLX_VT_DATE},
                {"Qty", PLX_VT_CY},
                {"Line", PLX_VT_I4},
                {"Done", PLX_VT_BOOL}};
  for (const auto& f : fields) ASSERT_EQ(Lib().RowsetAddField(rs, f.name, f.vt), PLX_S_OK);
  EXPECT_EQ(Lib().RowsetAddField(rs, "code", PLX_VT_TEXT), PLX_E_INVALIDARG);  // name in use
  EXPECT_EQ(Lib().RowsetAddField(rs, "Sub", PLX_VT_ROWSET), PLX_E_INVALIDARG);
  EXPECT_EQ(Lib().RowsetAddField(rs, "", PLX_VT_I4), PLX_E_INVALIDARG);

  // Rows as given, then as read back (a non-zero bool reads as PLX_TRUE).
  std::vector<std::vector<PlxVariant>> given = {
      {Text("A-1"), Date(45000.25), Cy(1234567), Int(1), Bool(true)},
      {Text("领料"), Date(-1.25), Cy(-5000), Int(-2), Bool(false)},
      {Empty(), Empty(), Empty(), Empty(), Empty()},
  };
  given[1][4].v.boolean = 1;
  for (auto& row : given) ASSERT_EQ(Lib().RowsetAddRow(rs, row.data(), 5), PLX_S_OK);

  std::vector<PlxVariant> wrong = {Text("A-2"), Date(1), Date(2), Int(3), Bool(true)};
  EXPECT_EQ(Lib().RowsetAddRow(rs, wrong.data(), 5), PLX_DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Lib().RowsetAddRow(rs, wrong.data(), 4), PLX_E_INVALIDARG);
  wrong[2] = Cy(1);
  wrong[1] = Date(1e9);
  EXPECT_EQ(Lib().RowsetAddRow(rs, wrong.data(), 5), PLX_E_INVALIDARG);
  EXPECT_EQ(Lib().RowsetAddField(rs, "Late", PLX_VT_I4), PLX_E_FAIL);  // rows exist

  int32_t count = -1;
  ASSERT_EQ(Lib().RowsetFieldCount(rs, &count), PLX_S_OK);
  EXPECT_EQ(count, 5);
  ASSERT_EQ(Lib().RowsetRecordCount(rs, &count), PLX_S_OK);
  EXPECT_EQ(count, 3);
  for (int32_t f = 0; f < 5; ++f) {
    const char* name = nullptr;
    int32_t vt = -1;
    ASSERT_EQ(Lib().RowsetFieldName(rs, f, &name), PLX_S_OK);
    ASSERT_EQ(Lib().RowsetFieldType(rs, f, &vt), PLX_S_OK);
    EXPECT_STREQ(name, fields[f].name);
    EXPECT_EQ(vt, fields[f].vt);
  }
  for (int32_t r = 0; r < 3; ++r) {
    for (int32_t f = 0; f < 5; ++f) {
      SCOPED_TRACE(std::to_string(r) + "," + std::to_string(f));
      const PlxVariant& in = given[static_cast<size_t>(r)][static_cast<size_t>(f)];
      Cleared out;
      ASSERT_EQ(Lib().RowsetGetValue(rs, r, f, &out.v), PLX_S_OK);
      ASSERT_EQ(out.v.vt, in.vt);
      switch (in.vt) {
        case PLX_VT_TEXT:
          EXPECT_STREQ(out.v.v.text, in.v.text);
          EXPECT_NE(out.v.v.text, in.v.text);  // a copy of its own
          break;
        case PLX_VT_DATE:
          EXPECT_EQ(out.v.v.date, in.v.date);
          break;
        case PLX_VT_CY:
          EXPECT_EQ(out.v.v.cy, in.v.cy);
          break;
        case PLX_VT_I4:
          EXPECT_EQ(out.v.v.i4, in.v.i4);
          break;
        case PLX_VT_BOOL:
          EXPECT_EQ(out.v.v.boolean, in.v.boolean != 0 ? PLX_TRUE : PLX_FALSE);
          break;
        default:
          break;
      }
    }
  }

  const struct { int32_t row, field; } outside[] = {{3, 0}, {0, 5}, {-1, 0}, {0, -1}};
  for (const auto& o : outside) {
    Cleared out;
    out.v.vt = PLX_VT_I4;
    EXPECT_EQ(Lib().RowsetGetValue(rs, o.row, o.field, &out.v), PLX_E_INVALIDARG);
    EXPECT_EQ(out.v.vt, PLX_VT_EMPTY);
  }
  const char* name = "unchanged";
  EXPECT_EQ(Lib().RowsetFieldName(rs, 5, &name), PLX_E_INVALIDARG);
  EXPECT_EQ(name, nullptr);
  EXPECT_EQ(Lib().RowsetFieldCount(nullptr, &count), PLX_E_POINTER);

  for (auto& row : given) {
    for (PlxVariant& v : row) Lib().VariantClear(&v);
  }
  for (PlxVariant& v : wrong) Lib().VariantClear(&v);
  // A rowset in a variant belongs to it: clearing the variant frees it.
  PlxVariant holder = Rows(rs);
  Lib().VariantClear(&holder);
  EXPECT_EQ(holder.vt, PLX_VT_EMPTY);
  Lib().RowsetFree(Lib().RowsetCreate());
}

TEST_F(InprocTest, TextHelpers) {
  char* copy = Lib().TextAlloc("生产 ok");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "生产 ok");
  Lib().TextFree(copy);
  EXPECT_EQ(Lib().TextAlloc(nullptr), nullptr);
  PlxVariant v = Text("x");
  Lib().VariantClear(&v);
  EXPECT_EQ(v.vt, PLX_VT_EMPTY);
  EXPECT_EQ(v.v.text, nullptr);
  Lib().VariantClear(nullptr);
}

// ---- The host creating the classes through the in-process path -------------

TEST(InprocHostTest, RegisterThroughInprocGivesTheHostBothClasses) {
  TestCompany company;
  company.AddUser("amy", "Amy", "", {"MF0301"});
  host::ClassTable& classes = company.classes();  // outside services already in
  ASSERT_EQ(classes.Find(kReaderProgId), nullptr);
  ASSERT_TRUE(RegisterThroughInproc(classes).ok());
  const host::ClassInfo* reader_info = classes.Find("plexavo.mf_outbill");
  const host::ClassInfo* writer_info = classes.Find(kWriterProgId);
  ASSERT_NE(reader_info, nullptr);
  ASSERT_NE(writer_info, nullptr);
  EXPECT_EQ(reader_info->transaction, host::TransactionAttribute::kSupports);
  EXPECT_EQ(writer_info->transaction, host::TransactionAttribute::kRequires);

  host::Host host(classes);
  auto writer = host.CreateObject(kWriterProgId, "amy");
  ASSERT_TRUE(writer.ok());
  EXPECT_TRUE(writer->context()->IsInTransaction());
  EXPECT_TRUE(writer->context()->IsTransactionRoot());
  EXPECT_TRUE(writer->Release().ok());

  auto reader = host.CreateObject(kReaderProgId, "amy");
  ASSERT_TRUE(reader.ok());
  EXPECT_FALSE(reader->context()->IsInTransaction());
  const Operation* op = OperationByName(ReaderInterface(), "ReadRight");
  ASSERT_NE(op, nullptr);
  Args args{Variant::Text(company.name())};
  auto answer = Invoke(*reader->As<host::Component>(), ReaderInterface(), *op, args);
  ASSERT_TRUE(answer.ok());
  EXPECT_EQ(answer->value, base::Value(true));
}

// ---- Writers racing other transactions --------------------------------------

constexpr int32_t kWriterAddNew = 0x60030000;
constexpr double kDec6 = 46362.0;  // 2026-12-06
constexpr const char* kTaken = "202612060099";

class InprocRaceTest : public InprocTest {
 protected:
  void SetUp() override {
    InprocTest::SetUp();
    if (HasFatalFailure()) return;
    company_.AddUser("amy", "Amy", "", {"MF0301", "MF0302", "MF0303", "MF0304"});
    company_.Exec("INSERT INTO SM_Period (Module, Period) VALUES ('MF', '202612')");
    company_.Exec("INSERT INTO SM_Config (ID, Value) VALUES ('MachineTime', '0')");
    company_.Exec(
        "INSERT INTO FD_Article (ID, ArtCode, Name, NonStandard) VALUES (1, 'A', 'A', 0)");
    company_.Exec("INSERT INTO FD_ArtMeas (ID, MeasID, Num, Den) VALUES (1, 'pcs', :n, :n)",
                  {{"n", base::Currency::FromInt(1)}});
    company_.Exec("INSERT INTO MF_Order (BillID, ShopID, DeptID) VALUES ('MO1', 'W1', 'D0')");
    company_.Exec("INSERT INTO MF_OrdDetail (BillID, SortID, DeptID) VALUES ('MO1', '1', 'D1')");
  }

  // AddNew of a one-line bill numbered `id`, not executed.
  // With `dry_run`, through PlxInvokeDryRun, its JSON in `*dry_run`; with
  // `key`, through InvokeWithKey.
  PLXRESULT AddNew(PlxObject* writer, const char* id, std::string& id_after, std::string& err,
                   PlxVariant* result, std::string* dry_run = nullptr, const char* key = nullptr,
                   int64_t qty = 10000) {
    PlxRowset* lines = Lib().RowsetCreate();
    const std::pair<const char*, int32_t> fields[] = {
        {"SortID", PLX_VT_TEXT},  {"ArtID", PLX_VT_I4},      {"MeasID", PLX_VT_TEXT},
        {"ShelfID", PLX_VT_TEXT}, {"SerialNo", PLX_VT_TEXT}, {"ValidDate", PLX_VT_DATE},
        {"Qty", PLX_VT_CY},       {"Memo", PLX_VT_TEXT},     {"OrdBomID", PLX_VT_I4}};
    for (const auto& [name, vt] : fields)
      EXPECT_EQ(Lib().RowsetAddField(lines, name, vt), PLX_S_OK);
    PlxVariant row[] = {Text("1"), Int(1),  Text("pcs"), Text("S1"), Text(""),
                        Empty(),   Cy(qty), Text(""),    Int(0)};
    EXPECT_EQ(Lib().RowsetAddRow(lines, row, 9), PLX_S_OK);
    for (PlxVariant& v : row) Lib().VariantClear(&v);
    Vars args{Text(id),  Date(kDec6), Text(""),    Text("MO1"),
              Text("1"), Text(""),    Text(""),    Text("Oscar"),
              Text(""),  Rows(lines), Bool(false), Text(company_.name().c_str()),
              Text("")};
    PLXRESULT hr = PLX_S_OK;
    if (dry_run != nullptr) {
      char* json = nullptr;
      hr = Lib().InvokeDryRun(writer, kWriterAddNew, args.data(), args.size(), result, &json);
      *dry_run = json != nullptr ? json : "";
      Lib().TextFree(json);
    } else if (key != nullptr) {
      hr = writer->vtbl->InvokeWithKey(writer, key, kWriterAddNew, args.data(), 13, result);
    } else {
      hr = Call(writer, kWriterAddNew, args, result);
    }
    id_after = TextOf(args[0]);
    err = TextOf(args[12]);
    return hr;
  }

  // Inserts bill `kTaken` in a transaction of its own, committed by the
  // returned thread after `delay`: a caller that needs the number meanwhile
  // waits for it, or loses the race.
  std::thread TakeNumberSoon(std::chrono::milliseconds delay) {
    auto tx = std::make_shared<data::Enlistment>();
    auto cnn = std::make_shared<data::Connection>();
    EXPECT_TRUE(cnn->Open(company_.target(), tx.get()).ok());
    EXPECT_TRUE(cnn->Execute(data::Sql("INSERT INTO MF_OutBill (BillID, Date, OrdBill, OrdSortID) "
                                       "VALUES (:id, :d, 'MO1', '1')")
                                 .Bind("id", kTaken)
                                 .Bind("d", base::DateTime::Parse("2026-12-06").value()))
                    .ok());
    return std::thread([tx, cnn, delay] {
      std::this_thread::sleep_for(delay);
      cnn->Close();
      EXPECT_TRUE(tx->Commit().ok());
    });
  }

  TestCompany company_;
};

// The number is taken by a transaction still running when the call checks
// it: the call ends in the refusal a later caller gets (duplicate number),
// never in the database's key violation.
TEST_F(InprocRaceTest, ALostRaceEndsInTheRefusalNotADatabaseText) {
  std::thread committer = TakeNumberSoon(std::chrono::milliseconds(1500));
  Object writer = Create(PLX_CLSID_MF_OutBillE, "amy");
  ASSERT_TRUE(writer);
  std::string id, err;
  Cleared result;
  EXPECT_EQ(AddNew(writer.get(), kTaken, id, err, &result.v), PLX_S_OK);
  committer.join();
  EXPECT_EQ(result.v.vt, PLX_VT_BOOL);
  EXPECT_EQ(result.v.v.boolean, PLX_FALSE);
  EXPECT_EQ(err, "生产领料单编号重复！");
  EXPECT_EQ(id, kTaken);
  EXPECT_EQ(company_.Count("MF_OutBill"), 1);
}

// A dry run answers as the call does, tells what it did, and keeps nothing;
// a reader object or one that already did work cannot take one.
TEST_F(InprocRaceTest, ADryRunAnswersItsEffectsAndKeepsNothing) {
  {
    Object writer = Create(PLX_CLSID_MF_OutBillE, "amy");
    std::string id, err, json;
    Cleared result;
    ASSERT_EQ(AddNew(writer.get(), "", id, err, &result.v, &json), PLX_S_OK);
    EXPECT_EQ(result.v.v.boolean, PLX_TRUE) << err;
    EXPECT_EQ(id, "202612060001");
    EXPECT_EQ(json, R"({"effects":{"stock":[],"bom":[],"orderLines":[],"billNumbers":[{"number":")"
                    R"(202612060001","reserved":false}],"useLog":["新增生产领料单202612060001"]},)"
                    R"("problems":[]})");
  }
  EXPECT_EQ(company_.Count("MF_OutBill"), 0);
  EXPECT_EQ(company_.Count("SM_UseLog"), 0);
  Object reader = Create(PLX_CLSID_MF_OutBill, "amy");
  Object writer = Create(PLX_CLSID_MF_OutBillE, "amy");
  std::string id, err, json;
  Cleared result;
  EXPECT_EQ(AddNew(reader.get(), "", id, err, &result.v, &json), PLX_E_INVALIDARG);
  ASSERT_EQ(AddNew(writer.get(), "", id, err, &result.v), PLX_S_OK);
  EXPECT_EQ(AddNew(writer.get(), "", id, err, &result.v, &json), PLX_E_FAIL);
  EXPECT_EQ(json, "");
}

// A keyed call runs once: a repeat answers the kept answer without running
// (here a run would be refused: the number is taken), the key with other
// arguments is refused, and an expired key lets the call run again.
TEST_F(InprocRaceTest, AKeyedCallRunsOnce) {
  constexpr const char* kId = "202612060005";
  const struct {
    const char* what;
    const char* key;
    int64_t qty;
    PLXRESULT hr;
    bool result;
    std::string err;
    const char* id_after;
  } steps[] = {
      {"first call runs", "k-1", 10000, PLX_S_OK, true, "", kId},
      {"repeat answers the kept answer", "k-1", 10000, PLX_S_OK, true, "", kId},
      {"other arguments are refused", "k-1", 20000, PLX_E_KEYREUSED, false, "", kId},
      {"bad key", "k 1", 10000, PLX_E_INVALIDARG, false, "", kId},
      {"another key runs", "k-2", 10000, PLX_S_OK, false, "生产领料单编号重复！", kId},
      {"expired key runs again", "k-1", 10000, PLX_S_OK, false, "生产领料单编号重复！", kId},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    if (std::string(step.what) == "expired key runs again") {
      company_.Exec("UPDATE PX_IdempotencyKey SET Created = :old",
                    {{"old", base::DateTime::Parse("2026-01-01").value()}});
    }
    Object writer = Create(PLX_CLSID_MF_OutBillE, "amy");
    ASSERT_TRUE(writer);
    std::string id, err;
    Cleared result;
    EXPECT_EQ(AddNew(writer.get(), kId, id, err, &result.v, nullptr, step.key, step.qty), step.hr);
    if (step.hr == PLX_S_OK) {
      EXPECT_EQ(result.v.vt, PLX_VT_BOOL);
      EXPECT_EQ(result.v.v.boolean, step.result ? PLX_TRUE : PLX_FALSE);
    } else {
      EXPECT_EQ(result.v.vt, PLX_VT_EMPTY);
    }
    EXPECT_EQ(err, step.err);
    EXPECT_EQ(id, step.id_after);
    writer.reset();
    EXPECT_EQ(company_.Count("MF_OutBill"), 1);
  }
  // The refused runs kept no key; the first call's key is there once.
  EXPECT_EQ(company_.Text("SELECT COUNT(*) FROM PX_IdempotencyKey WHERE LoginName = 'amy' AND "
                          "KeyText = 'k-1'"),
            "1");
  EXPECT_EQ(company_.Count("PX_IdempotencyKey"), 1);
}

// After earlier work in the object's transaction a lost race cannot be run
// again inside the library: the caller gets PLX_E_CONFLICT with its
// arguments as they were, and the object's transaction rolls back. The race
// here is a deadlock: the object deleted bill B and then executes bill C
// on order MO1, while another transaction holds MO1's lock and waits for B.
TEST_F(InprocRaceTest, ALostRaceAfterEarlierWorkAnswersConflict) {
  if (!testing_support::UsingPostgres()) {
    GTEST_SKIP() << "SQLite writers queue for the whole transaction: a second call cannot race";
  }
  constexpr int32_t kDelete = 0x60030005;
  constexpr int32_t kExecBill = 0x60030006;
  for (const char* id : {"202612060001", "202612060002"}) {
    company_.Exec(
        "INSERT INTO MF_OutBill (BillID, Date, OrdBill, OrdSortID) VALUES "
        "(:id, :d, 'MO1', '1')",
        {{"id", id}, {"d", base::DateTime::Parse("2026-12-06").value()}});
  }
  PlxObject* writer = Create(PLX_CLSID_MF_OutBillE, "amy").release();
  ASSERT_NE(writer, nullptr);
  {
    Vars args{Text("202612060001"), Text(company_.name().c_str()), Text("")};
    Cleared deleted;
    ASSERT_EQ(Call(writer, kDelete, args, &deleted.v), PLX_S_OK);
    ASSERT_EQ(deleted.v.v.boolean, PLX_TRUE) << TextOf(args[2]);
  }
  // The other transaction: the order's lock first, then bill B, which the
  // object holds. It leaves finding the deadlock to the object's side.
  data::Enlistment tx;
  data::Connection cnn;
  ASSERT_TRUE(cnn.Open(company_.target(), &tx).ok());
  ASSERT_TRUE(cnn.Execute(data::Sql("SET LOCAL deadlock_timeout = '60s'")).ok());
  ASSERT_TRUE(data::TakeLocks(cnn, {data::OrderLock("MO1")}).ok());
  std::thread other([&] {
    EXPECT_TRUE(cnn.Query(data::Sql("SELECT BillID FROM MF_OutBill WHERE BillID = "
                                    "'202612060001' FOR UPDATE"),
                          {{"BillID", base::FieldType::kText}})
                    .ok());
    cnn.Close();
    EXPECT_TRUE(tx.Commit().ok());
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  Vars args{Text("202612060002"), Date(kDec6), Text(company_.name().c_str()), Text("")};
  char* err_text = args[3].v.text;
  Cleared result;
  result.v.vt = PLX_VT_I4;  // overwritten with "empty"
  EXPECT_EQ(Call(writer, kExecBill, args, &result.v), PLX_E_CONFLICT);
  EXPECT_EQ(result.v.vt, PLX_VT_EMPTY);
  EXPECT_EQ(args[3].v.text, err_text);  // left as it was
  EXPECT_EQ(TextOf(args[3]), "");
  EXPECT_EQ(writer->vtbl->Release(writer), PLX_S_OK);
  other.join();
  // Nothing of the object's transaction was kept: bill B is still there.
  EXPECT_EQ(company_.Count("MF_OutBill"), 2);
  EXPECT_EQ(company_.Text("SELECT Execer FROM MF_OutBill WHERE BillID = '202612060002'"), "<null>");
}

}  // namespace
}  // namespace boundary
