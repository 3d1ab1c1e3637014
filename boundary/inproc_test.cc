// Tests of the in-process component: the built libplexavo.so is loaded
// with dlopen and driven only through its C ABI, the way an outside caller
// uses it; the registration-file editing and the C++ host path are tested
// directly as well.
#include <gtest/gtest.h>
#include <plexavo/plexavo.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "boundary/dispatch.h"
#include "boundary/inproc.h"
#include "boundary/inproc_registry.h"
#include "boundary/interfaces.h"
#include "data/connection.h"
#include "data/locks.h"
#include "tests/bill_fixture.h"
#include "tests/inproc_library.h"
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

const testing_support::InprocLibrary& Lib() {
  return testing_support::LoadInproc(PLEXAVO_INPROC_LIBRARY);
}

std::string LibraryRealPath() {
  char* real = realpath(PLEXAVO_INPROC_LIBRARY, nullptr);
  std::string path = real != nullptr ? real : "";
  free(real);
  return path;
}

// ---- Variants built with the library's own allocator --------------------------

PlxVariant Text(const char* s) { return {PLX_VT_TEXT, {.text = Lib().PlxTextAlloc(s)}}; }
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
    for (PlxVariant& x : v) Lib().PlxVariantClear(&x);
  }
  Vars(const Vars&) = delete;
  Vars& operator=(const Vars&) = delete;
  PlxVariant* data() { return v.data(); }
  int32_t size() const { return static_cast<int32_t>(v.size()); }
  PlxVariant& operator[](size_t i) { return v[i]; }
};

struct Cleared {
  PlxVariant v{};
  ~Cleared() { Lib().PlxVariantClear(&v); }
};

std::string TextOf(const PlxVariant& v) {
  EXPECT_EQ(v.vt, PLX_VT_TEXT);
  return v.vt == PLX_VT_TEXT && v.v.text != nullptr ? v.v.text : "<not text>";
}

// A variant as text, its type marked ("-" when empty).
std::string VariantText(const PlxVariant& v) {
  char date[32];
  switch (v.vt) {
    case PLX_VT_EMPTY:
      return "-";
    case PLX_VT_TEXT:
      return v.v.text != nullptr ? v.v.text : "<null text>";
    case PLX_VT_I4:
      return "i" + std::to_string(v.v.i4);
    case PLX_VT_CY:
      return "cy" + std::to_string(v.v.cy);
    case PLX_VT_DATE:
      std::snprintf(date, sizeof date, "d%.17g", v.v.date);
      return date;
    case PLX_VT_BOOL:
      return v.v.boolean == PLX_TRUE ? "true" : v.v.boolean == PLX_FALSE ? "false" : "bool?";
    default:
      return "vt" + std::to_string(v.vt);
  }
}

// Arguments as text, "|" between them.
std::string ArgsText(const std::vector<PlxVariant>& args) {
  std::string out;
  for (const PlxVariant& v : args) out += (out.empty() ? "" : "|") + VariantText(v);
  return out;
}

// A rowset read through the C API: "Name:type ..." and a line per row.
std::string RowsetText(PlxRowset* rs) {
  int32_t fields = -1, records = -1;
  EXPECT_EQ(Lib().PlxRowsetFieldCount(rs, &fields), PLX_S_OK);
  EXPECT_EQ(Lib().PlxRowsetRecordCount(rs, &records), PLX_S_OK);
  std::string out;
  for (int32_t f = 0; f < fields; ++f) {
    const char* name = nullptr;
    int32_t vt = -1;
    EXPECT_EQ(Lib().PlxRowsetFieldName(rs, f, &name), PLX_S_OK);
    EXPECT_EQ(Lib().PlxRowsetFieldType(rs, f, &vt), PLX_S_OK);
    out +=
        std::string(f == 0 ? "" : " ") + (name != nullptr ? name : "?") + ":" + std::to_string(vt);
  }
  for (int32_t r = 0; r < records; ++r) {
    for (int32_t f = 0; f < fields; ++f) {
      Cleared v;
      EXPECT_EQ(Lib().PlxRowsetGetValue(rs, r, f, &v.v), PLX_S_OK);
      out += (f == 0 ? "\n" : "|") + VariantText(v.v);
    }
  }
  return out;
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
  EXPECT_EQ(Lib().DllGetClassObject(&clsid, &PLX_IID_ClassFactory, &ppv), PLX_S_OK);
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

  void Write(const std::string& text) const { std::ofstream(path_, std::ios::binary) << text; }
  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  // What DllRegisterServer appends, each section after a blank line.
  static std::string Ours(const std::string& lib) {
    const std::string typelib = "{2B8EB767-202E-4FC0-A437-5C8B00ABBFCA}";
    auto cls = [&](const std::string& clsid, const std::string& progid, const char* tx) {
      return "\n[Class\\{" + clsid + "}]\nProgID=" + progid + "\nLibrary=" + lib +
             "\nThreadingModel=Apartment\nTransaction=" + tx + "\nTypeLib=" + typelib +
             "\n\n[ProgID\\" + progid + "]\nClass={" + clsid + "}\n";
    };
    return cls("C3EEEF35-DB3F-40F4-9DDA-B06F74B28050", "Plexavo.MF_OutBill", "Supported") +
           cls("1D097D58-423B-4596-8E6F-C9AB8998E3BC", "Plexavo.MF_OutBillE", "Required") +
           "\n[TypeLib\\" + typelib +
           "]\nName=Plexavo\nVersion=1.8\nHelpString=MF_生产领料单\nLibrary=" + lib + "\n";
  }

  std::string dir_;
  std::string path_;
};

const char kForeign[] = R"(; components installed on this machine
[Class\{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}]
ProgID=Other.Component
Library=/opt/other/libother.so
ThreadingModel=Both

[ProgID\Other.Component]
Class={0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}
)";

// Registering twice adds both classes once, after what the file held (a
// missing file and its directory are created); unregistering twice leaves
// the file as it was (a file never created stays missing).
TEST_F(RegistrationTest, RegisterAddsBothClassesAndUnregisterRestoresTheFile) {
  const std::string lib = LibraryRealPath();
  ASSERT_TRUE(lib.starts_with("/"));
  for (const std::string& before : {std::string(kForeign), std::string()}) {
    SCOPED_TRACE(before.empty() ? "missing file" : "others' sections");
    if (before.empty()) {
      path_ = dir_ + "/etc/plexavo/registry.ini";
      setenv("PLEXAVO_REGISTRY", path_.c_str(), 1);
      ASSERT_EQ(Lib().DllUnregisterServer(), PLX_S_OK);
      EXPECT_FALSE(std::filesystem::exists(path_));  // nothing to remove, nothing created
    } else {
      Write(before);
    }
    for (int i = 0; i < 2; ++i) {
      ASSERT_EQ(Lib().DllRegisterServer(), PLX_S_OK);
      EXPECT_EQ(Read(), before + Ours(lib).substr(before.empty() ? 1 : 0));
    }
    for (int i = 0; i < 2; ++i) {
      ASSERT_EQ(Lib().DllUnregisterServer(), PLX_S_OK);
      EXPECT_EQ(Read(), before);
    }
  }
}

TEST_F(RegistrationTest, AnUnusableFileIsARegistrationError) {
  setenv("PLEXAVO_REGISTRY", dir_.c_str(), 1);  // a directory
  EXPECT_EQ(Lib().DllRegisterServer(), PLX_SELFREG_E_CLASS);
  EXPECT_EQ(Lib().DllUnregisterServer(), PLX_SELFREG_E_CLASS);
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
      {"comment in our section kept", "[T]\n; kept by the administrator\nc=3\n",
       "[T]\n; kept by the administrator\nc=3\n\n[S\\{1}]\na=1\nb=two\n",
       "[T]\n; kept by the administrator\n"},
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
    EXPECT_EQ(Lib().DllGetClassObject(c.clsid, c.iid, &ppv), c.expected);
    EXPECT_EQ(ppv, nullptr);
  }
  EXPECT_EQ(Lib().DllGetClassObject(&PLX_CLSID_MF_OutBill, &PLX_IID_ClassFactory, nullptr),
            PLX_E_POINTER);
  // The host's view of each class.
  using host::TransactionAttribute;
  for (const auto& [clsid, progid, transaction] :
       {std::tuple{&PLX_CLSID_MF_OutBill, "Plexavo.MF_OutBill", TransactionAttribute::kSupports},
        std::tuple{&PLX_CLSID_MF_OutBillE, "Plexavo.MF_OutBillE",
                   TransactionAttribute::kRequires}}) {
    void* ppv = nullptr;
    ASSERT_EQ(Lib().DllGetClassObject(clsid, &PLX_IID_HostClassInfo, &ppv), PLX_S_OK);
    const auto* info = static_cast<const host::ClassInfo*>(ppv);
    EXPECT_EQ(info->progid, progid);
    EXPECT_EQ(info->transaction, transaction);
  }
  // A factory refuses missing pointers.
  void* ppv = nullptr;
  ASSERT_EQ(Lib().DllGetClassObject(&PLX_CLSID_MF_OutBill, &PLX_IID_ClassFactory, &ppv), PLX_S_OK);
  auto* factory = static_cast<PlxClassFactory*>(ppv);
  PlxObject* obj = reinterpret_cast<PlxObject*>(&ppv);
  EXPECT_EQ(factory->vtbl->CreateInstance(factory, nullptr, &obj), PLX_E_POINTER);
  EXPECT_EQ(obj, nullptr);
  EXPECT_EQ(factory->vtbl->CreateInstance(factory, "amy", nullptr), PLX_E_POINTER);
  EXPECT_EQ(factory->vtbl->Release(factory), PLX_S_OK);
  EXPECT_EQ(Lib().DllCanUnloadNow(), PLX_S_FALSE);
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
  // Calls by an id the class does not have are not found either; the
  // writer has no id of the reader's AddNew (60030001).
  const std::pair<PlxObject*, int32_t> calls[] = {{reader.get(), 0x6003001E},
                                                  {reader.get(), 0},
                                                  {reader.get(), -1},
                                                  {writer.get(), 0x60030001},
                                                  {writer.get(), 0x60030009}};
  for (const auto& [obj, dispid] : calls) {
    Vars args{Text(company_.name().c_str())};
    Cleared result;
    result.v.vt = PLX_VT_I4;
    EXPECT_EQ(Call(obj, dispid, args, &result.v), PLX_DISP_E_MEMBERNOTFOUND) << dispid;
    EXPECT_EQ(result.v.vt, PLX_VT_EMPTY);
  }
}

// Each login's rights (read, edit, execute, reverse) come back in the in/out
// arguments, each first set to the opposite; carol lacks the read right, so
// nothing is granted.
TEST_F(InprocObjectTest, RightsAnswerTheCallersRightsInTheirArguments) {
  const std::string db = company_.name();
  const std::pair<const char*, std::array<bool, 4>> cases[] = {
      {"amy", {true, false, false, false}},
      {"bob", {false, false, false, false}},
      {"carol", {false, false, false, false}}};
  for (const auto& [login, rights] : cases) {
    SCOPED_TRACE(login);
    Object reader = Create(PLX_CLSID_MF_OutBill, login);
    ASSERT_TRUE(reader);
    Vars args{Bool(!rights[0]), Bool(!rights[1]), Bool(!rights[2]),
              Bool(!rights[3]), Text(db.c_str()), Text("")};
    Cleared result;
    ASSERT_EQ(Call(reader.get(), kCheckRight, args, &result.v), PLX_S_OK);
    std::string expected = "true";
    for (bool right : rights) expected += right ? "|true" : "|false";
    EXPECT_EQ(VariantText(result.v) + "|" + ArgsText(args.v), expected + "|" + db + "|");
    Vars in{Text(db.c_str())};
    char* db_text = in[0].v.text;
    Cleared read;
    read.v.vt = PLX_VT_I4;  // overwritten by the call
    ASSERT_EQ(Call(reader.get(), kReadRight, in, &read.v), PLX_S_OK);
    EXPECT_EQ(VariantText(read.v), rights[0] ? "true" : "false");
    EXPECT_EQ(in[0].v.text, db_text);  // an in argument is left alone
  }
}

TEST_F(InprocObjectTest, ReaderAddNewRefusesAndKeepsTheId) {
  Object reader = Create(PLX_CLSID_MF_OutBill, "amy");
  ASSERT_TRUE(reader);
  PlxRowset* detail = Lib().PlxRowsetCreate();
  ASSERT_EQ(Lib().PlxRowsetAddField(detail, "ArtCode", PLX_VT_TEXT), PLX_S_OK);
  PlxVariant line[] = {Text("A-1")};
  ASSERT_EQ(Lib().PlxRowsetAddRow(detail, line, 1), PLX_S_OK);
  Lib().PlxVariantClear(&line[0]);
  Vars args{Text("B-0001"), Date(45000.0), Text("01"), Text(""),
            Text(""),       Text(""),      Text(""),   Text("amy"),
            Text("memo"),   Rows(detail),  Bool(true), Text(company_.name().c_str()),
            Text("")};
  Cleared result;
  ASSERT_EQ(Call(reader.get(), kReaderAddNew, args, &result.v), PLX_S_OK);
  EXPECT_EQ(VariantText(result.v) + "|" + TextOf(args[0]) + "|" + TextOf(args[12]),
            "false|B-0001|function kill");
  // The caller's rowset stays the caller's, untouched.
  ASSERT_EQ(args[9].vt, PLX_VT_ROWSET);
  EXPECT_EQ(args[9].v.rowset, detail);
  EXPECT_EQ(RowsetText(detail), "ArtCode:8\nA-1");
}

// Field types: 8 text, 7 date, 6 currency, 3 int, 11 bool.
TEST_F(InprocObjectTest, RowsetResultsAreReadOnlyCopiesOwnedByTheCaller) {
  Object reader = Create(PLX_CLSID_MF_OutBill, "amy");
  ASSERT_TRUE(reader);
  Vars args{Text(company_.name().c_str()), Text("")};
  Cleared result;
  ASSERT_EQ(Call(reader.get(), kGetRstUser, args, &result.v), PLX_S_OK);
  ASSERT_EQ(result.v.vt, PLX_VT_ROWSET);
  PlxRowset* rs = result.v.v.rowset;
  const char* users = "LoginName:8 UserName:8 InnerID:3\namy|Amy|i0\nbob|Bob|i7\ncarol|Carol|i0";
  EXPECT_EQ(RowsetText(rs), users);
  PlxVariant row[] = {Text("dan"), Text("Dan"), Int(1)};
  EXPECT_EQ(Lib().PlxRowsetAddRow(rs, row, 3), PLX_E_FAIL);
  EXPECT_EQ(Lib().PlxRowsetAddField(rs, "Extra", PLX_VT_I4), PLX_E_FAIL);
  for (PlxVariant& v : row) Lib().PlxVariantClear(&v);
  EXPECT_EQ(RowsetText(rs), users);
}

// The reader's AddNew arguments for bill "B-1" with argument `at` replaced.
std::vector<PlxVariant> ReaderAddNewArgs(const char* db, size_t at, PlxVariant value) {
  std::vector<PlxVariant> args = {Text("B-1"), Date(45000), Text(""),      Text(""), Text(""),
                                  Text(""),    Text(""),    Text(""),      Text(""), Rows(nullptr),
                                  Bool(false), Text(db),    Text("before")};
  Lib().PlxVariantClear(&args[at]);
  args[at] = value;
  return args;
}

TEST_F(InprocObjectTest, BadArgumentsAreRefusedAndLeftUntouched) {
  Object reader = Create(PLX_CLSID_MF_OutBill, "amy");
  ASSERT_TRUE(reader);
  const char* db = company_.name().c_str();
  const struct {
    const char* name;
    int32_t dispid;
    std::vector<PlxVariant> args;
    int32_t argc_delta;  // added to the array's size to form argc
    PLXRESULT expected;
  } cases[] = {
      {"no arguments", kReadRight, {}, 0, PLX_DISP_E_BADPARAMCOUNT},
      {"one too many", kReadRight, {Text(db), Text("")}, 0, PLX_DISP_E_BADPARAMCOUNT},
      {"negative count", kReadRight, {Text(db)}, -2, PLX_DISP_E_BADPARAMCOUNT},
      {"int for text", kReadRight, {Int(1)}, 0, PLX_DISP_E_TYPEMISMATCH},
      {"empty for text", kReadRight, {Empty()}, 0, PLX_DISP_E_TYPEMISMATCH},
      {"text for an in/out bool",
       kCheckRight,
       {Bool(false), Text("yes"), Bool(false), Bool(false), Text(db), Text("before")},
       0,
       PLX_DISP_E_TYPEMISMATCH},
      {"int for the in/out error text",
       kCheckRight,
       {Bool(false), Bool(false), Bool(false), Bool(false), Text(db), Int(0)},
       0,
       PLX_DISP_E_TYPEMISMATCH},
      {"currency for a date", kReaderAddNew, ReaderAddNewArgs(db, 1, Cy(450000000)), 0,
       PLX_DISP_E_TYPEMISMATCH},
      {"text for a rowset", kReaderAddNew, ReaderAddNewArgs(db, 9, Text("")), 0,
       PLX_DISP_E_TYPEMISMATCH},
      {"date past year 9999", kReaderAddNew, ReaderAddNewArgs(db, 1, Date(1e7)), 0,
       PLX_E_INVALIDARG},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<PlxVariant> args = c.args;  // the same pointers, not copies
    Cleared result;
    result.v.vt = PLX_VT_I4;
    const int32_t argc = static_cast<int32_t>(args.size()) + c.argc_delta;
    EXPECT_EQ(reader->vtbl->Invoke(reader.get(), c.dispid, args.data(), argc, &result.v),
              c.expected);
    EXPECT_EQ(result.v.vt, PLX_VT_EMPTY);
    for (size_t i = 0; i < args.size(); ++i) {
      EXPECT_EQ(args[i].vt, c.args[i].vt) << i;
      EXPECT_EQ(std::memcmp(&args[i].v, &c.args[i].v, sizeof args[i].v), 0) << i;
    }
    if (c.dispid != kReadRight && args.back().vt == PLX_VT_TEXT) {
      EXPECT_EQ(TextOf(args.back()), "before");
    }
    for (PlxVariant& v : args) Lib().PlxVariantClear(&v);
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
  EXPECT_EQ(std::vector<PLXRESULT>({invoked, named, released}),
            std::vector<PLXRESULT>(3, PLX_E_FAIL));
  EXPECT_EQ(dispid, 99);

  // Still alive and usable here.
  Vars args{Text(db.c_str())};
  Cleared result;
  ASSERT_EQ(Call(obj, kReadRight, args, &result.v), PLX_S_OK);
  EXPECT_EQ(result.v.v.boolean, PLX_TRUE);
}

// ---- Rowset C API ---------------------------------------------------------------

TEST_F(InprocTest, RowsetAndTextRoundTrip) {
  char* copy_of = Lib().PlxTextAlloc("生产 ok");
  EXPECT_STREQ(copy_of, "生产 ok");
  Lib().PlxTextFree(copy_of);
  EXPECT_EQ(Lib().PlxTextAlloc(nullptr), nullptr);
  Lib().PlxVariantClear(nullptr);

  PlxRowset* rs = Lib().PlxRowsetCreate();
  ASSERT_NE(rs, nullptr);
  const std::pair<const char*, int32_t> fields[] = {{"Code", PLX_VT_TEXT},
                                                    {"Day", PLX_VT_DATE},
                                                    {"Qty", PLX_VT_CY},
                                                    {"Line", PLX_VT_I4},
                                                    {"Done", PLX_VT_BOOL}};
  for (const auto& [name, vt] : fields) ASSERT_EQ(Lib().PlxRowsetAddField(rs, name, vt), PLX_S_OK);
  EXPECT_EQ(Lib().PlxRowsetAddField(rs, "code", PLX_VT_TEXT), PLX_E_INVALIDARG);  // name in use
  EXPECT_EQ(Lib().PlxRowsetAddField(rs, "Sub", PLX_VT_ROWSET), PLX_E_INVALIDARG);
  EXPECT_EQ(Lib().PlxRowsetAddField(rs, "", PLX_VT_I4), PLX_E_INVALIDARG);
  std::vector<std::vector<PlxVariant>> given = {
      {Text("A-1"), Date(45000.25), Cy(1234567), Int(1), Bool(true)},
      {Text("领料"), Date(-1.25), Cy(-5000), Int(-2), Bool(false)},
      {Empty(), Empty(), Empty(), Empty(), Empty()},
  };
  given[1][4].v.boolean = 1;  // any non-zero bool reads back as PLX_TRUE
  for (auto& row : given) ASSERT_EQ(Lib().PlxRowsetAddRow(rs, row.data(), 5), PLX_S_OK);
  std::vector<PlxVariant> wrong = {Text("A-2"), Date(1), Date(2), Int(3), Bool(true)};
  EXPECT_EQ(Lib().PlxRowsetAddRow(rs, wrong.data(), 5), PLX_DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Lib().PlxRowsetAddRow(rs, wrong.data(), 4), PLX_E_INVALIDARG);
  wrong[2] = Cy(1);
  wrong[1] = Date(1e9);
  EXPECT_EQ(Lib().PlxRowsetAddRow(rs, wrong.data(), 5), PLX_E_INVALIDARG);
  EXPECT_EQ(Lib().PlxRowsetAddField(rs, "Late", PLX_VT_I4), PLX_E_FAIL);  // rows exist
  EXPECT_EQ(RowsetText(rs),
            "Code:8 Day:7 Qty:6 Line:3 Done:11\nA-1|d45000.25|cy1234567|i1|true\n"
            "领料|d-1.25|cy-5000|i-2|true\n-|-|-|-|-");
  Cleared copy;
  ASSERT_EQ(Lib().PlxRowsetGetValue(rs, 0, 0, &copy.v), PLX_S_OK);
  EXPECT_NE(copy.v.v.text, given[0][0].v.text);  // a copy of its own
  const std::pair<int32_t, int32_t> outside[] = {{3, 0}, {0, 5}, {-1, 0}, {0, -1}};
  for (const auto& [row, field] : outside) {
    Cleared out;
    out.v.vt = PLX_VT_I4;
    EXPECT_EQ(Lib().PlxRowsetGetValue(rs, row, field, &out.v), PLX_E_INVALIDARG);
    EXPECT_EQ(out.v.vt, PLX_VT_EMPTY);
  }
  const char* name = "unchanged";
  EXPECT_EQ(Lib().PlxRowsetFieldName(rs, 5, &name), PLX_E_INVALIDARG);
  EXPECT_EQ(name, nullptr);
  int32_t count = -1;
  EXPECT_EQ(Lib().PlxRowsetFieldCount(nullptr, &count), PLX_E_POINTER);
  for (auto& row : given) {
    for (PlxVariant& v : row) Lib().PlxVariantClear(&v);
  }
  for (PlxVariant& v : wrong) Lib().PlxVariantClear(&v);
  // A rowset in a variant belongs to it: clearing the variant frees it.
  PlxVariant holder = Rows(rs);
  Lib().PlxVariantClear(&holder);
  EXPECT_EQ(holder.vt, PLX_VT_EMPTY);
  Lib().PlxRowsetFree(Lib().PlxRowsetCreate());
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
  ASSERT_TRUE(reader_info != nullptr && writer_info != nullptr);
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

// On the bill company: amy holds every right, period 202612 is open, and
// order MO1 has line 1.
class InprocRaceTest : public testing_support::BillFixture {
 protected:
  void SetUp() override { ASSERT_TRUE(Lib().error.empty()) << Lib().error; }

  // The writer's AddNew arguments: a one-line bill numbered `id`, `qty`
  // ten-thousandths of article 1, not executed.
  Vars AddNewArgs(const char* id, int64_t qty = 10000) {
    PlxRowset* lines = Lib().PlxRowsetCreate();
    const std::pair<const char*, int32_t> fields[] = {
        {"SortID", PLX_VT_TEXT},  {"ArtID", PLX_VT_I4},      {"MeasID", PLX_VT_TEXT},
        {"ShelfID", PLX_VT_TEXT}, {"SerialNo", PLX_VT_TEXT}, {"ValidDate", PLX_VT_DATE},
        {"Qty", PLX_VT_CY},       {"Memo", PLX_VT_TEXT},     {"OrdBomID", PLX_VT_I4}};
    for (const auto& [name, vt] : fields) {
      EXPECT_EQ(Lib().PlxRowsetAddField(lines, name, vt), PLX_S_OK);
    }
    PlxVariant row[] = {Text("1"), Int(1),  Text("pcs"), Text("S1"), Text(""),
                        Empty(),   Cy(qty), Text(""),    Int(0)};
    EXPECT_EQ(Lib().PlxRowsetAddRow(lines, row, 9), PLX_S_OK);
    for (PlxVariant& v : row) Lib().PlxVariantClear(&v);
    return Vars{Text(id),  Date(kDec6), Text(""),    Text("MO1"),
                Text("1"), Text(""),    Text(""),    Text("Oscar"),
                Text(""),  Rows(lines), Bool(false), Text(company_.name().c_str()),
                Text("")};
  }
  // The result, the bill's id and the error text after an AddNew.
  static std::string Answer(const PlxVariant& result, Vars& args) {
    return VariantText(result) + "|" + TextOf(args[0]) + "|" + TextOf(args[12]);
  }
  // A dry run of AddNew on `obj`, its JSON in `json`.
  static PLXRESULT DryRun(PlxObject* obj, Vars& args, PlxVariant* result, std::string& json) {
    char* text = nullptr;
    const PLXRESULT hr =
        Lib().PlxInvokeDryRun(obj, kWriterAddNew, args.data(), args.size(), result, &text);
    json = text != nullptr ? text : "";
    Lib().PlxTextFree(text);
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
                                 .Bind("d", testing_support::D("2026-12-06")))
                    .ok());
    return std::thread([tx, cnn, delay] {
      std::this_thread::sleep_for(delay);
      cnn->Close();
      EXPECT_TRUE(tx->Commit().ok());
    });
  }
};

// The number is taken by a transaction still running when the call checks
// it: the call ends in the refusal a later caller gets (duplicate number),
// never in the database's key violation.
TEST_F(InprocRaceTest, ALostRaceEndsInTheRefusalNotADatabaseText) {
  std::thread committer = TakeNumberSoon(std::chrono::milliseconds(1500));
  Object writer = Create(PLX_CLSID_MF_OutBillE, "amy");
  ASSERT_TRUE(writer);
  Vars args = AddNewArgs(kTaken);
  Cleared result;
  EXPECT_EQ(Call(writer.get(), kWriterAddNew, args, &result.v), PLX_S_OK);
  committer.join();
  EXPECT_EQ(Answer(result.v, args), "false|202612060099|生产领料单编号重复！");
  EXPECT_EQ(company_.Count("MF_OutBill"), 1);
}

// A dry run answers as the call does, tells what it did, and keeps nothing;
// a reader object or one that already did work cannot take one.
TEST_F(InprocRaceTest, ADryRunAnswersItsEffectsAndKeepsNothing) {
  std::string json;
  {
    Object writer = Create(PLX_CLSID_MF_OutBillE, "amy");
    Vars args = AddNewArgs("");
    Cleared result;
    ASSERT_EQ(DryRun(writer.get(), args, &result.v, json), PLX_S_OK);
    EXPECT_EQ(Answer(result.v, args), "true|202612060001|");
    EXPECT_EQ(json, R"({"effects":{"stock":[],"bom":[],"orderLines":[],"billNumbers":[{"number":")"
                    R"(202612060001","reserved":false}],"useLog":["新增生产领料单202612060001"]},)"
                    R"("problems":[]})");
  }
  EXPECT_EQ(company_.Count("MF_OutBill"), 0);
  EXPECT_EQ(company_.Count("SM_UseLog"), 0);
  Object reader = Create(PLX_CLSID_MF_OutBill, "amy");
  Object writer = Create(PLX_CLSID_MF_OutBillE, "amy");
  Vars first = AddNewArgs(""), second = AddNewArgs(""), third = AddNewArgs("");
  Cleared result;
  EXPECT_EQ(DryRun(reader.get(), first, &result.v, json), PLX_E_INVALIDARG);
  ASSERT_EQ(Call(writer.get(), kWriterAddNew, second, &result.v), PLX_S_OK);
  EXPECT_EQ(DryRun(writer.get(), third, &result.v, json), PLX_E_FAIL);
  EXPECT_EQ(json, "");
}

// A keyed call runs once: a repeat answers the kept answer without running
// (here a run would be refused: the number is taken), the key with other
// arguments is refused, and an expired key lets the call run again.
TEST_F(InprocRaceTest, AKeyedCallRunsOnce) {
  const struct {
    const char* what;
    const char* key;
    int64_t qty;
    PLXRESULT hr;
    const char* answer;
  } steps[] = {
      {"first call runs", "k-1", 10000, PLX_S_OK, "true|202612060005|"},
      {"repeat answers the kept answer", "k-1", 10000, PLX_S_OK, "true|202612060005|"},
      {"other arguments are refused", "k-1", 20000, PLX_E_KEYREUSED, "-|202612060005|"},
      {"bad key", "k 1", 10000, PLX_E_INVALIDARG, "-|202612060005|"},
      {"another key runs", "k-2", 10000, PLX_S_OK, "false|202612060005|生产领料单编号重复！"},
      {"expired key runs again", "k-1", 10000, PLX_S_OK, "false|202612060005|生产领料单编号重复！"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    if (std::string(step.what) == "expired key runs again") {
      company_.Exec("UPDATE PX_IdempotencyKey SET Created = :old",
                    {{"old", testing_support::D("2026-01-01")}});
    }
    Object writer = Create(PLX_CLSID_MF_OutBillE, "amy");
    ASSERT_TRUE(writer);
    Vars args = AddNewArgs("202612060005", step.qty);
    Cleared result;
    EXPECT_EQ(writer->vtbl->InvokeWithKey(writer.get(), step.key, kWriterAddNew, args.data(),
                                          args.size(), &result.v),
              step.hr);
    EXPECT_EQ(Answer(result.v, args), step.answer);
    writer.reset();
    EXPECT_EQ(company_.Count("MF_OutBill"), 1);
  }
  // The refused runs kept no key; the first call's key is there once.
  EXPECT_EQ(company_.Text("SELECT LoginName || ' ' || KeyText FROM PX_IdempotencyKey"), "amy k-1");
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
  company_.Exec(
      "INSERT INTO MF_OutBill (BillID, Date, OrdBill, OrdSortID) VALUES "
      "('202612060001', :d, 'MO1', '1'), ('202612060002', :d, 'MO1', '1')",
      {{"d", testing_support::D("2026-12-06")}});
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
  EXPECT_EQ(VariantText(result.v) + "|" + TextOf(args[3]), "-|");
  EXPECT_EQ(args[3].v.text, err_text);  // left as it was
  EXPECT_EQ(writer->vtbl->Release(writer), PLX_S_OK);
  other.join();
  // Nothing of the object's transaction was kept: bill B is still there.
  EXPECT_EQ(company_.Count("MF_OutBill"), 2);
  EXPECT_EQ(company_.Text("SELECT Execer FROM MF_OutBill WHERE BillID = '202612060002'"), "<null>");
}

}  // namespace
}  // namespace boundary
