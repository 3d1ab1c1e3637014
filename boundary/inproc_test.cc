// Tests of the in-process component: the built libplexavo.so is loaded
// with dlopen and driven only through its C ABI, the way an outside caller
// uses it; the registration-file editing and the C++ host path are tested
// directly as well.
#include <gtest/gtest.h>
#include <plexavo/plexavo.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
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
constexpr int32_t kWriterAddNew = 0x60030000;

const testing_support::InprocLibrary& Lib() {
  return testing_support::LoadInproc(PLEXAVO_INPROC_LIBRARY);
}

// ---- Variants built with the library's own allocator --------------------------

PlxVariant Text(const char* s) { return {PLX_VT_TEXT, {.text = Lib().PlxTextAlloc(s)}}; }
PlxVariant Bool(bool b) { return {PLX_VT_BOOL, {.boolean = b ? PLX_TRUE : PLX_FALSE}}; }
PlxVariant Int(int32_t i) { return {PLX_VT_I4, {.i4 = i}}; }
PlxVariant Cy(int64_t scaled) { return {PLX_VT_CY, {.cy = scaled}}; }
PlxVariant Date(double days) { return {PLX_VT_DATE, {.date = days}}; }
PlxVariant Rows(PlxRowset* rs) { return {PLX_VT_ROWSET, {.rowset = rs}}; }
PlxVariant Empty() { return PlxVariant{}; }

// Variants the test owns, cleared at the end.
struct Vars : std::vector<PlxVariant> {
  using std::vector<PlxVariant>::vector;
  Vars(const Vars&) = delete;
  ~Vars() {
    for (PlxVariant& x : *this) Lib().PlxVariantClear(&x);
  }
  int32_t count() const { return static_cast<int32_t>(size()); }
};

using Fields = std::vector<std::pair<const char*, int32_t>>;

// A rowset of `fields` holding the one row `row`.
PlxRowset* OneRowRowset(const Fields& fields, Vars row) {
  PlxRowset* rs = Lib().PlxRowsetCreate();
  for (const auto& [name, vt] : fields) EXPECT_EQ(Lib().PlxRowsetAddField(rs, name, vt), PLX_S_OK);
  EXPECT_EQ(Lib().PlxRowsetAddRow(rs, row.data(), row.count()), PLX_S_OK);
  return rs;
}

std::string RowsetText(const PlxRowset* rs);

// A variant as text, its type marked ("-" when empty, a rowset in brackets).
std::string VariantText(const PlxVariant& v) {
  if (v.vt == PLX_VT_TEXT) return v.v.text != nullptr ? v.v.text : "<null text>";
  if (v.vt == PLX_VT_ROWSET) return "[" + RowsetText(v.v.rowset) + "]";
  if (v.vt == PLX_VT_BOOL && v.v.boolean == PLX_TRUE) return "true";
  if (v.vt == PLX_VT_BOOL && v.v.boolean == PLX_FALSE) return "false";
  char out[40] = "vt?";
  if (v.vt == PLX_VT_EMPTY) return "-";
  if (v.vt == PLX_VT_I4) std::snprintf(out, sizeof out, "i%d", v.v.i4);
  if (v.vt == PLX_VT_CY) std::snprintf(out, sizeof out, "cy%lld", static_cast<long long>(v.v.cy));
  if (v.vt == PLX_VT_DATE) std::snprintf(out, sizeof out, "d%.17g", v.v.date);
  if (v.vt == PLX_VT_BOOL) std::snprintf(out, sizeof out, "bool%d", v.v.boolean);
  return out;
}

// A result and arguments as text, "|" between them.
std::string Answer(const PlxVariant& result, const std::vector<PlxVariant>& args) {
  std::string out = VariantText(result);
  for (const PlxVariant& v : args) out += "|" + VariantText(v);
  return out;
}

// A rowset read through the C API: "Name:type ..." and a line per row.
std::string RowsetText(const PlxRowset* rs) {
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
        (f == 0 ? "" : " ") + std::string(name != nullptr ? name : "?") + ":" + std::to_string(vt);
  }
  for (int32_t r = 0; r < records * fields; ++r) {
    Vars v{Empty()};
    EXPECT_EQ(Lib().PlxRowsetGetValue(rs, r / fields, r % fields, &v[0]), PLX_S_OK);
    out += (r % fields == 0 ? "\n" : "|") + VariantText(v[0]);
  }
  return out;
}

// ---- Objects --------------------------------------------------------------------

struct ObjectReleaser {
  void operator()(PlxObject* obj) const { EXPECT_EQ(obj->vtbl->Release(obj), PLX_S_OK); }
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
  return obj->vtbl->Invoke(obj, dispid, args.data(), args.count(), result);
}

class InprocTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Lib().error.empty()) << Lib().error; }
};

// ---- Registration file ------------------------------------------------------

// What DllRegisterServer writes into an empty file for library `lib`: the
// sections a blank line apart.
std::string Ours(const std::string& lib) {
  const std::string typelib = "{2B8EB767-202E-4FC0-A437-5C8B00ABBFCA}";
  auto cls = [&](const std::string& clsid, const std::string& progid, const char* tx) {
    return "[Class\\{" + clsid + "}]\nProgID=" + progid + "\nLibrary=" + lib +
           "\nThreadingModel=Apartment\nTransaction=" + tx + "\nTypeLib=" + typelib +
           "\n\n[ProgID\\" + progid + "]\nClass={" + clsid + "}\n\n";
  };
  return cls("C3EEEF35-DB3F-40F4-9DDA-B06F74B28050", "Plexavo.MF_OutBill", "Supported") +
         cls("1D097D58-423B-4596-8E6F-C9AB8998E3BC", "Plexavo.MF_OutBillE", "Required") +
         "[TypeLib\\" + typelib +
         "]\nName=Plexavo\nVersion=1.8\nHelpString=MF_生产领料单\nLibrary=" + lib + "\n";
}

// Registering twice adds both classes once (a missing file and its
// directory are created); unregistering twice leaves the file empty (a file
// never created stays missing). A file that cannot be used is a
// registration error. Others' sections are kept: RegistryEditTest.
TEST_F(InprocTest, RegisterAddsBothClassesAndUnregisterRestoresTheFile) {
  char* real = realpath(PLEXAVO_INPROC_LIBRARY, nullptr);
  const std::string lib = real != nullptr ? real : "";
  free(real);
  EXPECT_TRUE(lib.starts_with("/"));
  char tmpl[] = "/tmp/plexavo-reg-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  const std::string path = dir + "/etc/plexavo/registry.ini";
  setenv("PLEXAVO_REGISTRY", path.c_str(), 1);
  EXPECT_EQ(Lib().DllUnregisterServer(), PLX_S_OK);
  EXPECT_FALSE(std::filesystem::exists(path));  // nothing to remove, nothing created
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(i < 2 ? Lib().DllRegisterServer() : Lib().DllUnregisterServer(), PLX_S_OK);
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), i < 2 ? Ours(lib) : "") << i;
  }
  setenv("PLEXAVO_REGISTRY", dir.c_str(), 1);  // a directory
  EXPECT_EQ(Lib().DllRegisterServer(), PLX_SELFREG_E_CLASS);
  EXPECT_EQ(Lib().DllUnregisterServer(), PLX_SELFREG_E_CLASS);
  unsetenv("PLEXAVO_REGISTRY");
  std::filesystem::remove_all(dir);
}

TEST(RegistryEditTest, ApplyThenRemoveRoundTrips) {
  const std::vector<inproc::RegSection> sections = {
      {"S\\{1}", {{"a", "1"}, {"b", "two"}}},
      {"T", {{"c", "3"}}},
  };
  // Each case: its name, the file before, after ApplySections, and after
  // RemoveSections of that.
  const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
      {"no final line break", "x=1", "x=1\n\n[S\\{1}]\na=1\nb=two\n\n[T]\nc=3", "x=1"},
      {"trailing blank line kept", "[X]\nx=1\n\n",
       "[X]\nx=1\n\n\n[S\\{1}]\na=1\nb=two\n\n[T]\nc=3\n", "[X]\nx=1\n\n"},
      {"stale value rewritten, foreign key kept", "[s\\{1}]\nA = old\nkeep=me\n\n[T]\nc=3\n",
       "[s\\{1}]\na=1\nkeep=me\nb=two\n\n[T]\nc=3\n", "[s\\{1}]\nkeep=me\n"},
      {"value without data", "[T]\nc\n", "[T]\nc=3\n\n[S\\{1}]\na=1\nb=two\n", ""},
      {"crlf file", "[X]\r\nx=1\r\n",
       "[X]\r\nx=1\r\n\r\n[S\\{1}]\r\na=1\r\nb=two\r\n\r\n[T]\r\nc=3\r\n", "[X]\r\nx=1\r\n"},
      {"comment in our section kept", "[T]\n; kept by the administrator\nc=3\n",
       "[T]\n; kept by the administrator\nc=3\n\n[S\\{1}]\na=1\nb=two\n",
       "[T]\n; kept by the administrator\n"},
      {"foreign section between ours", "[S\\{1}]\na=1\n\n[X]\nx=1\n",
       "[S\\{1}]\na=1\nb=two\n\n[X]\nx=1\n\n[T]\nc=3\n", "\n[X]\nx=1\n"},
  };
  for (const auto& [name, before, applied_text, removed] : cases) {
    SCOPED_TRACE(name);
    const std::string applied = inproc::ApplySections(before, sections);
    EXPECT_EQ(applied, applied_text);
    EXPECT_EQ(inproc::ApplySections(applied, sections), applied);
    EXPECT_EQ(inproc::RemoveSections(applied, sections), removed);
  }
  // Files without our sections are left alone.
  for (const char* text : {"", "x", "[X]\na=1\n", "\n\n[X]\r\na=1", "; [S\\{1}]\n"}) {
    EXPECT_EQ(inproc::RemoveSections(text, sections), text);
  }
}

// ---- Class objects and the host's view of the classes ---------------------------

// Class objects come only for the two classes and the factory interface;
// every refusal leaves the answer null.
TEST_F(InprocTest, ClassObjectsOnlyForOurClassesAndFactoryInterface) {
  const PLX_GUID foreign = {{0x0F, 0x1E, 0x2D, 0x3C, 0x4B, 0x5A, 0x69, 0x78, 0x87, 0x96, 0xA5, 0xB4,
                             0xC3, 0xD2, 0xE1, 0xF0}};
  const PLX_IID* factory_iid = &PLX_IID_ClassFactory;
  const PLXRESULT no_class = PLX_CLASS_E_CLASSNOTAVAILABLE;
  const std::tuple<const PLX_CLSID*, const PLX_IID*, PLXRESULT> cases[] = {
      // Not our classes: foreign, the type library's id, an interface id.
      {&foreign, factory_iid, no_class},
      {&PLX_LIBID_Plexavo, factory_iid, no_class},
      {factory_iid, factory_iid, no_class},
      // Our classes, not the factory interface; missing ids.
      {&PLX_CLSID_MF_OutBill, &foreign, PLX_E_NOINTERFACE},
      {&PLX_CLSID_MF_OutBillE, &PLX_CLSID_MF_OutBillE, PLX_E_NOINTERFACE},
      {nullptr, factory_iid, PLX_E_POINTER},
      {&PLX_CLSID_MF_OutBill, nullptr, PLX_E_POINTER}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& [clsid, iid, expected] = cases[i];
    int sentinel = 0;
    void* ppv = &sentinel;
    EXPECT_EQ(Lib().DllGetClassObject(clsid, iid, &ppv), expected) << i;
    EXPECT_EQ(ppv, nullptr) << i;
  }
  EXPECT_EQ(Lib().DllGetClassObject(&PLX_CLSID_MF_OutBill, &PLX_IID_ClassFactory, nullptr),
            PLX_E_POINTER);
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

// A host built from the same sources takes both classes (program id,
// transaction, factory) from DllGetClassObject. The factories are the ones
// every call below goes through.
TEST(InprocHostTest, RegisterThroughInprocGivesTheHostBothClasses) {
  host::ClassTable classes;
  ASSERT_TRUE(RegisterThroughInproc(classes).ok());
  for (const auto& [name, progid, transaction] :  // program ids are found in any case
       {std::tuple{"plexavo.mf_outbill", kReaderProgId, host::TransactionAttribute::kSupports},
        std::tuple{"PLEXAVO.MF_OUTBILLE", kWriterProgId, host::TransactionAttribute::kRequires}}) {
    const host::ClassInfo* info = classes.Find(name);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->progid, progid);
    EXPECT_EQ(info->transaction, transaction);
  }
}

// ---- Objects on a company database --------------------------------------------

// Each name and the id GetIDsOfNames answers for it ("-" for not found,
// which answers -1), a space after each.
std::string IdsOf(PlxObject* obj, std::initializer_list<const char*> names) {
  std::string out;
  for (const char* name : names) {
    int32_t id = 12345;
    const PLXRESULT hr = obj->vtbl->GetIDsOfNames(obj, name, &id);
    const bool none = hr == PLX_DISP_E_MEMBERNOTFOUND && id == -1;
    out += std::string(name) + "=" + (hr == PLX_S_OK ? DispIdText(id) : none ? "-" : "?") + " ";
  }
  return out;
}

class InprocObjectTest : public InprocTest {
 protected:
  void SetUp() override {
    InprocTest::SetUp();
    company_.AddUser("amy", "Amy", "", {"MF0301"});
    company_.AddUser("bob", "Bob", "", {}, 7);
  }

  TestCompany company_;
};

// Names resolve, in any case, to the ids of the class's own operations;
// the writer's CanEdit is private to it.
TEST_F(InprocObjectTest, NamesResolveOnlyToTheClassesOwnOperations) {
  Object reader = Create(PLX_CLSID_MF_OutBill, "amy");
  Object writer = Create(PLX_CLSID_MF_OutBillE, "amy");
  ASSERT_TRUE(reader && writer);
  EXPECT_EQ(IdsOf(reader.get(), {"ShopRst", "shoprst", "READRIGHT", "AddNew", "CheckRight",
                                 "BillList", "AddFromOutPlan", "", "ShopRst "}),
            "ShopRst=6003001D shoprst=6003001D READRIGHT=60030015 AddNew=60030001 "
            "CheckRight=60030018 BillList=60030000 AddFromOutPlan=- =- ShopRst =- ");
  EXPECT_EQ(IdsOf(writer.get(), {"addnew", "Edit", "Delete", "ExecBill", "UnExecBill",
                                 "AddFromOutPlan", "ShopRst", "CanEdit"}),
            "addnew=60030000 Edit=60030002 Delete=60030005 ExecBill=60030006 UnExecBill=60030007 "
            "AddFromOutPlan=60030008 ShopRst=- CanEdit=- ");
}

// Variants for a table, cleared by the table's loop.
template <typename... V>
std::vector<PlxVariant> List(V... v) {
  return {v...};
}

// One call through Invoke on a fresh object of amy's, who holds the read
// right only. On success the result and every argument come back as text
// ("|" between); a call never replaces an in argument, and a rowset result
// cannot be changed. A refused call leaves the result empty and every
// argument as given.
TEST_F(InprocObjectTest, CallsAnswerInTheirArgumentsOrAreRefusedLeavingThemAlone) {
  const std::string db_name = company_.name();
  const char* db = db_name.c_str();
  // The reader's AddNew arguments for bill "B-1" with argument `at` replaced.
  auto add_new = [&](size_t at, PlxVariant value) {
    std::vector<PlxVariant> args =
        List(Text("B-1"), Date(45000), Text(""), Text(""), Text(""), Text(""), Text(""), Text(""),
             Text(""), Rows(nullptr), Bool(false), Text(db), Text("before"));
    Lib().PlxVariantClear(&args[at]);
    args[at] = value;
    return args;
  };
  PlxRowset* detail = OneRowRowset({{"ArtCode", PLX_VT_TEXT}}, {Text("A-1")});
  const struct {
    const char* name;
    bool writer;
    int32_t dispid;
    std::vector<PlxVariant> args;
    PLXRESULT hr;
    std::string answer = "-";  // the result (and arguments, on success) after the call
    int32_t argc_delta = 0;    // added to the array's size to form argc
  } cases[] = {
      {"read right", false, kReadRight, List(Text(db)), PLX_S_OK, "true|" + db_name},
      {"rights written over their opposites", false, kCheckRight,
       List(Bool(false), Bool(true), Bool(true), Bool(true), Text(db), Text("")), PLX_S_OK,
       "true|true|false|false|false|" + db_name + "|"},
      {"users as a rowset", false, kGetRstUser, List(Text(db), Text("")), PLX_S_OK,
       "[LoginName:8 UserName:8 InnerID:3\namy|Amy|i0\nbob|Bob|i7]|" + db_name + "|"},
      {"the reader's AddNew refuses, keeps the id and the caller's rowset", false, kReaderAddNew,
       List(Text("B-0001"), Date(45000.0), Text("01"), Text(""), Text(""), Text(""), Text(""),
            Text("amy"), Text("memo"), Rows(detail), Bool(true), Text(db), Text("")),
       PLX_S_OK,
       "false|B-0001|d45000|01|||||amy|memo|[ArtCode:8\nA-1]|true|" + db_name + "|function kill"},
      // Ids the class does not have; the writer has no id of the reader's AddNew.
      {"id past the reader's", false, 0x6003001E, List(Text(db)), PLX_DISP_E_MEMBERNOTFOUND},
      {"id 0", false, 0, List(Text(db)), PLX_DISP_E_MEMBERNOTFOUND},
      {"id -1", false, -1, List(Text(db)), PLX_DISP_E_MEMBERNOTFOUND},
      {"reader's AddNew id", true, kReaderAddNew, List(Text(db)), PLX_DISP_E_MEMBERNOTFOUND},
      {"id past the writer's", true, 0x60030009, List(Text(db)), PLX_DISP_E_MEMBERNOTFOUND},
      // Bad arguments.
      {"no arguments", false, kReadRight, List(), PLX_DISP_E_BADPARAMCOUNT},
      {"no argument array", false, kReadRight, List(), PLX_E_POINTER, "-", 1},
      {"one too many", false, kReadRight, List(Text(db), Text("")), PLX_DISP_E_BADPARAMCOUNT},
      {"negative count", false, kReadRight, List(Text(db)), PLX_DISP_E_BADPARAMCOUNT, "-", -2},
      {"int for text", false, kReadRight, List(Int(1)), PLX_DISP_E_TYPEMISMATCH},
      {"empty for text", false, kReadRight, List(Empty()), PLX_DISP_E_TYPEMISMATCH},
      {"text for an in/out bool", false, kCheckRight,
       List(Bool(false), Text("yes"), Bool(false), Bool(false), Text(db), Text("before")),
       PLX_DISP_E_TYPEMISMATCH},
      {"currency for a date", false, kReaderAddNew, add_new(1, Cy(450000000)),
       PLX_DISP_E_TYPEMISMATCH},
      {"text for a rowset", false, kReaderAddNew, add_new(9, Text("")), PLX_DISP_E_TYPEMISMATCH},
      {"date past year 9999", false, kReaderAddNew, add_new(1, Date(1e7)), PLX_E_INVALIDARG},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Object obj = Create(c.writer ? PLX_CLSID_MF_OutBillE : PLX_CLSID_MF_OutBill, "amy");
    ASSERT_TRUE(obj);
    std::vector<PlxVariant> args = c.args;  // the same pointers, not copies
    Vars result{Int(0)};                    // overwritten by every call
    const int32_t argc = static_cast<int32_t>(args.size()) + c.argc_delta;
    EXPECT_EQ(obj->vtbl->Invoke(obj.get(), c.dispid, args.empty() ? nullptr : args.data(), argc,
                                &result[0]),
              c.hr);
    const Operation* op =
        OperationByDispId(c.writer ? WriterInterface() : ReaderInterface(), c.dispid);
    for (size_t i = 0; i < args.size(); ++i) {
      if (c.hr == PLX_S_OK && op->params[i].direction == Direction::kInOut) continue;
      EXPECT_EQ(args[i].vt, c.args[i].vt) << i;
      EXPECT_EQ(std::memcmp(&args[i].v, &c.args[i].v, sizeof args[i].v), 0) << i;
    }
    if (result[0].vt == PLX_VT_ROWSET) {
      Vars row{Text("dan"), Text("Dan"), Int(1)};
      EXPECT_EQ(Lib().PlxRowsetAddRow(result[0].v.rowset, row.data(), 3), PLX_E_FAIL);
      EXPECT_EQ(Lib().PlxRowsetAddField(result[0].v.rowset, "Extra", PLX_VT_I4), PLX_E_FAIL);
    }
    EXPECT_EQ(c.hr == PLX_S_OK ? Answer(result[0], args) : VariantText(result[0]), c.answer);
    for (PlxVariant& v : args) Lib().PlxVariantClear(&v);
  }
}

TEST_F(InprocObjectTest, ObjectsAnswerOnlyOnTheirCreatingThread) {
  Object reader = Create(PLX_CLSID_MF_OutBill, "amy");
  ASSERT_TRUE(reader);
  PlxObject* obj = reader.get();
  std::vector<PLXRESULT> answers;
  int32_t dispid = 99;
  std::thread([&] {
    Vars args{Text(company_.name().c_str())};
    answers = {Call(obj, kReadRight, args, nullptr),
               obj->vtbl->GetIDsOfNames(obj, "ReadRight", &dispid), obj->vtbl->Release(obj)};
  }).join();
  EXPECT_EQ(answers, std::vector<PLXRESULT>(3, PLX_E_FAIL));
  EXPECT_EQ(dispid, 99);
  Vars args{Text(company_.name().c_str())}, result{Empty()};  // still alive and usable here
  ASSERT_EQ(Call(obj, kReadRight, args, &result[0]), PLX_S_OK);
  EXPECT_EQ(VariantText(result[0]), "true");
}

// ---- Rowset C API ---------------------------------------------------------------

// Field types: 8 text, 7 date, 6 currency, 3 int, 11 bool. Texts are UTF-8.
TEST_F(InprocTest, RowsetAndTextRoundTrip) {
  EXPECT_EQ(Lib().PlxTextAlloc(nullptr), nullptr);
  Lib().PlxVariantClear(nullptr);

  PlxRowset* rs = Lib().PlxRowsetCreate();
  ASSERT_NE(rs, nullptr);
  const Fields fields = {
      {"Code", PLX_VT_TEXT}, {"Day", PLX_VT_DATE},  {"Qty", PLX_VT_CY},
      {"Line", PLX_VT_I4},   {"Done", PLX_VT_BOOL},
  };
  for (const auto& [name, vt] : fields) ASSERT_EQ(Lib().PlxRowsetAddField(rs, name, vt), PLX_S_OK);
  EXPECT_EQ(Lib().PlxRowsetAddField(rs, "code", PLX_VT_TEXT), PLX_E_INVALIDARG);  // name in use
  EXPECT_EQ(Lib().PlxRowsetAddField(rs, "Sub", PLX_VT_ROWSET), PLX_E_INVALIDARG);
  EXPECT_EQ(Lib().PlxRowsetAddField(rs, "", PLX_VT_I4), PLX_E_INVALIDARG);
  Vars given{Text("A-1"),  Date(45000.25), Cy(1234567), Int(1),  Bool(true),
             Text("领料"), Date(-1.25),    Cy(-5000),   Int(-2), Bool(false),
             Empty(),      Empty(),        Empty(),     Empty(), Empty()};
  given[9].v.boolean = 1;  // any non-zero bool reads back as PLX_TRUE
  for (int r = 0; r < 3; ++r) ASSERT_EQ(Lib().PlxRowsetAddRow(rs, &given[5 * r], 5), PLX_S_OK);
  Vars wrong{Text("A-2"), Date(1), Date(2), Int(3), Bool(true)};
  EXPECT_EQ(Lib().PlxRowsetAddRow(rs, wrong.data(), 5), PLX_DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Lib().PlxRowsetAddRow(rs, wrong.data(), 4), PLX_E_INVALIDARG);
  wrong[2] = Cy(1);
  wrong[1] = Date(1e9);
  EXPECT_EQ(Lib().PlxRowsetAddRow(rs, wrong.data(), 5), PLX_E_INVALIDARG);
  EXPECT_EQ(Lib().PlxRowsetAddField(rs, "Late", PLX_VT_I4), PLX_E_FAIL);  // rows exist
  EXPECT_EQ(RowsetText(rs),
            "Code:8 Day:7 Qty:6 Line:3 Done:11\nA-1|d45000.25|cy1234567|i1|true\n"
            "领料|d-1.25|cy-5000|i-2|true\n-|-|-|-|-");
  Vars copy{Empty()};
  ASSERT_EQ(Lib().PlxRowsetGetValue(rs, 0, 0, &copy[0]), PLX_S_OK);
  EXPECT_NE(copy[0].v.text, given[0].v.text);  // a copy of its own
  for (const auto& [row, field] : {std::pair{3, 0}, {0, 5}, {-1, 0}, {0, -1}}) {
    Vars out{Int(0)};  // overwritten
    EXPECT_EQ(Lib().PlxRowsetGetValue(rs, row, field, &out[0]), PLX_E_INVALIDARG);
    EXPECT_EQ(out[0].vt, PLX_VT_EMPTY);
  }
  const char* name = "unchanged";
  EXPECT_EQ(Lib().PlxRowsetFieldName(rs, 5, &name), PLX_E_INVALIDARG);
  EXPECT_EQ(name, nullptr);
  int32_t count = -1;
  EXPECT_EQ(Lib().PlxRowsetFieldCount(nullptr, &count), PLX_E_POINTER);
  // A rowset in a variant belongs to it: clearing the variant frees it.
  PlxVariant holder = Rows(rs);
  Lib().PlxVariantClear(&holder);
  EXPECT_EQ(holder.vt, PLX_VT_EMPTY);
  Lib().PlxRowsetFree(Lib().PlxRowsetCreate());
}

// ---- Writers racing other transactions --------------------------------------

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
    const Fields fields = {
        {"SortID", PLX_VT_TEXT},  {"ArtID", PLX_VT_I4},      {"MeasID", PLX_VT_TEXT},
        {"ShelfID", PLX_VT_TEXT}, {"SerialNo", PLX_VT_TEXT}, {"ValidDate", PLX_VT_DATE},
        {"Qty", PLX_VT_CY},       {"Memo", PLX_VT_TEXT},     {"OrdBomID", PLX_VT_I4},
    };
    PlxRowset* lines = OneRowRowset(fields, {Text("1"), Int(1), Text("pcs"), Text("S1"), Text(""),
                                             Empty(), Cy(qty), Text(""), Int(0)});
    return Vars{Text(id),  Date(kDec6), Text(""),    Text("MO1"),
                Text("1"), Text(""),    Text(""),    Text("Oscar"),
                Text(""),  Rows(lines), Bool(false), Text(company_.name().c_str()),
                Text("")};
  }
  // AddNew on a fresh writer object of amy's, under `key` unless null, or
  // as a dry run when `json` is given (its JSON there), released afterwards:
  // the return code in hex, the result, the bill's id and the error text.
  std::string AddNew(const char* id, int64_t qty = 10000, const char* key = nullptr,
                     std::string* json = nullptr) {
    Object writer = Create(PLX_CLSID_MF_OutBillE, "amy");
    Vars args = AddNewArgs(id, qty), result{Empty()};
    PlxObject* obj = writer.get();
    const PLXRESULT hr = json != nullptr ? DryRun(obj, args, &result[0], *json)
                         : key == nullptr
                             ? Call(obj, kWriterAddNew, args, &result[0])
                             : obj->vtbl->InvokeWithKey(obj, key, kWriterAddNew, args.data(),
                                                        args.count(), &result[0]);
    return DispIdText(hr) + "|" + Answer(result[0], {args[0], args[12]});
  }
  // A dry run of AddNew on `obj`, its JSON in `json`.
  static PLXRESULT DryRun(PlxObject* obj, Vars& args, PlxVariant* result, std::string& json) {
    char* text = nullptr;
    const PLXRESULT hr =
        Lib().PlxInvokeDryRun(obj, kWriterAddNew, args.data(), args.count(), result, &text);
    json = text != nullptr ? text : "";
    Lib().PlxTextFree(text);
    return hr;
  }
};

// The number is taken by a transaction still running when the call checks
// it: the call ends in the refusal a later caller gets (duplicate number),
// never in the database's key violation.
TEST_F(InprocRaceTest, ALostRaceEndsInTheRefusalNotADatabaseText) {
  // Bill kTaken inserted in a transaction of its own, committed 1.5 s on.
  auto tx = std::make_shared<data::Enlistment>();
  auto cnn = std::make_shared<data::Connection>();
  ASSERT_TRUE(cnn->Open(company_.target(), tx.get()).ok());
  ASSERT_TRUE(cnn->Execute(data::Sql("INSERT INTO MF_OutBill (BillID, Date, OrdBill, OrdSortID) "
                                     "VALUES (:id, :d, 'MO1', '1')")
                               .Bind("id", kTaken)
                               .Bind("d", testing_support::D("2026-12-06")))
                  .ok());
  std::thread committer([tx, cnn] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    cnn->Close();
    EXPECT_TRUE(tx->Commit().ok());
  });
  EXPECT_EQ(AddNew(kTaken), "00000000|false|202612060099|生产领料单编号重复！");
  committer.join();
  EXPECT_EQ(company_.Count("MF_OutBill"), 1);
}

// A dry run answers as the call does, tells what it did, and keeps nothing;
// a reader object or one that already did work cannot take one.
TEST_F(InprocRaceTest, ADryRunAnswersItsEffectsAndKeepsNothing) {
  std::string json;
  EXPECT_EQ(AddNew("", 10000, nullptr, &json), "00000000|true|202612060001|");
  EXPECT_EQ(json, R"({"effects":{"stock":[],"bom":[],"orderLines":[],"billNumbers":[{"number":")"
                  R"(202612060001","reserved":false}],"useLog":["新增生产领料单202612060001"]},)"
                  R"("problems":[]})");
  EXPECT_EQ(company_.Count("MF_OutBill"), 0);
  EXPECT_EQ(company_.Count("SM_UseLog"), 0);
  Object reader = Create(PLX_CLSID_MF_OutBill, "amy");
  Object writer = Create(PLX_CLSID_MF_OutBillE, "amy");
  Vars first = AddNewArgs(""), second = AddNewArgs(""), third = AddNewArgs("");
  Vars result{Empty()};
  EXPECT_EQ(DryRun(reader.get(), first, &result[0], json), PLX_E_INVALIDARG);
  ASSERT_EQ(Call(writer.get(), kWriterAddNew, second, &result[0]), PLX_S_OK);
  EXPECT_EQ(DryRun(writer.get(), third, &result[0], json), PLX_E_FAIL);
  EXPECT_EQ(json, "");
}

// A keyed call runs once: a repeat answers the kept answer without running
// (here a run would be refused: the number is taken), the key with other
// arguments is refused, and an expired key lets the call run again.
TEST_F(InprocRaceTest, AKeyedCallRunsOnce) {
  const std::tuple<const char*, const char*, int64_t, const char*> steps[] = {
      {"first call runs", "k-1", 10000, "00000000|true|202612060005|"},
      {"repeat answers the kept answer", "k-1", 10000, "00000000|true|202612060005|"},
      {"other arguments are refused", "k-1", 20000, "80040221|-|202612060005|"},  // key reused
      {"bad key", "k 1", 10000, "80070057|-|202612060005|"},  // invalid argument
      {"another key runs", "k-2", 10000, "00000000|false|202612060005|生产领料单编号重复！"},
  };
  for (const auto& [what, key, qty, answer] : steps) {
    SCOPED_TRACE(what);
    EXPECT_EQ(AddNew("202612060005", qty, key), answer);
    EXPECT_EQ(company_.Count("MF_OutBill"), 1);
  }
  // An expired key lets the call run again.
  company_.Exec("UPDATE PX_IdempotencyKey SET Created = :old",
                {{"old", testing_support::D("2026-01-01")}});
  EXPECT_EQ(AddNew("202612060005", 10000, "k-1"),
            "00000000|false|202612060005|生产领料单编号重复！");
  EXPECT_EQ(company_.Count("MF_OutBill"), 1);
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
  Vars bill_b{Text("202612060001"), Text(company_.name().c_str()), Text("")}, deleted{Empty()};
  ASSERT_EQ(Call(writer, kDelete, bill_b, &deleted[0]), PLX_S_OK);
  ASSERT_EQ(Answer(deleted[0], {bill_b[2]}), "true|");
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
  Vars result{Int(0)};  // overwritten with "empty"
  EXPECT_EQ(Call(writer, kExecBill, args, &result[0]), PLX_E_CONFLICT);
  EXPECT_EQ(Answer(result[0], {args[3]}), "-|");
  EXPECT_EQ(args[3].v.text, err_text);  // left as it was
  EXPECT_EQ(writer->vtbl->Release(writer), PLX_S_OK);
  other.join();
  // Nothing of the object's transaction was kept: bill B is still there.
  EXPECT_EQ(company_.Count("MF_OutBill"), 2);
  EXPECT_EQ(company_.Text("SELECT Execer FROM MF_OutBill WHERE BillID = '202612060002'"), "<null>");
}

}  // namespace
}  // namespace boundary
