// The C ABI of the in-process component: entry points, class factories,
// late-bound objects, variants and rowsets. Every function here catches
// all exceptions and answers a result code instead.
#include <dlfcn.h>
#include <plexavo/plexavo.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <thread>
#include <type_traits>
#include <variant>
#include <vector>

#include "boundary/call_record.h"
#include "boundary/classes.h"
#include "boundary/dispatch.h"
#include "boundary/effects_json.h"
#include "boundary/idempotency.h"
#include "boundary/inproc.h"
#include "boundary/inproc_registry.h"
#include "boundary/interfaces.h"
#include "company/company_db.h"
#include "data/connection.h"
#include "host/conflict_retry.h"

// The opaque rowset of the C ABI: a detached copy of the rows.
struct PlxRowset {
  base::Rowset rows;
  bool read_only = false;  // answered by an operation: the caller reads it only
};

namespace boundary {

std::string GuidText(const PLX_GUID& id) {
  static constexpr int kDashAfter[] = {3, 5, 7, 9};
  std::string out = "{";
  for (int i = 0; i < 16; ++i) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", id.data[i]);
    out += hex;
    for (int d : kDashAfter) {
      if (i == d) out += '-';
    }
  }
  return out + "}";
}

bool SameGuid(const PLX_GUID& a, const PLX_GUID& b) {
  return std::memcmp(a.data, b.data, sizeof a.data) == 0;
}

namespace {

// Codes of the retry path, as error numbers: the transient conflict
// (PLX_E_CONFLICT) and a host that failed to give an object (PLX_E_FAIL).
constexpr int32_t kErrConflict = static_cast<int32_t>(0x80040220u);
constexpr int32_t kErrHostFailed = static_cast<int32_t>(0x80004005u);
// A key used before with another call (PLX_E_KEYREUSED).
constexpr int32_t kErrKeyReused = static_cast<int32_t>(0x80040221u);

struct InprocClass {
  const PLX_CLSID* clsid;
  const char* progid;
};

const InprocClass kClasses[] = {
    {&PLX_CLSID_MF_OutBill, kReaderProgId},
    {&PLX_CLSID_MF_OutBillE, kWriterProgId},
};

const InprocClass* ClassById(const PLX_CLSID& id) {
  for (const InprocClass& c : kClasses) {
    if (SameGuid(*c.clsid, id)) return &c;
  }
  return nullptr;
}

// What this library's own host can create: the component classes and the
// outside services they call.
const host::ClassTable& LibraryClasses() {
  static const host::ClassTable table = [] {
    host::ClassTable t;
    RegisterAll(t);
    return t;
  }();
  return table;
}

// ---- Variants -----------------------------------------------------------

char* CopyText(const char* text, size_t size) {
  char* out = static_cast<char*>(std::malloc(size + 1));
  if (out == nullptr) throw std::bad_alloc();
  std::memcpy(out, text, size);
  out[size] = '\0';
  return out;
}

void ClearVariant(PlxVariant* v) {
  if (v == nullptr) return;
  if (v->vt == PLX_VT_TEXT) std::free(v->v.text);
  if (v->vt == PLX_VT_ROWSET) delete v->v.rowset;
  *v = PlxVariant{};
}

// Variants produced by the library that are only handed over once every
// one of them exists; cleared on the way out unless released.
class OwnedVariants {
 public:
  explicit OwnedVariants(size_t n) : v_(n) {}
  ~OwnedVariants() {
    for (PlxVariant& v : v_) ClearVariant(&v);
  }
  PlxVariant& operator[](size_t i) { return v_[i]; }
  // Moves variant i out; the guard forgets it.
  PlxVariant Release(size_t i) {
    PlxVariant out = v_[i];
    v_[i] = PlxVariant{};
    return out;
  }

 private:
  std::vector<PlxVariant> v_;
};

int32_t VtOfField(base::FieldType type) {
  switch (type) {
    case base::FieldType::kText:
      return PLX_VT_TEXT;
    case base::FieldType::kDate:
      return PLX_VT_DATE;
    case base::FieldType::kInt:
      return PLX_VT_I4;
    case base::FieldType::kCurrency:
      return PLX_VT_CY;
    case base::FieldType::kBool:
      return PLX_VT_BOOL;
  }
  return PLX_VT_EMPTY;
}

bool FieldOfVt(int32_t vt, base::FieldType* type) {
  switch (vt) {
    case PLX_VT_TEXT:
      *type = base::FieldType::kText;
      return true;
    case PLX_VT_DATE:
      *type = base::FieldType::kDate;
      return true;
    case PLX_VT_I4:
      *type = base::FieldType::kInt;
      return true;
    case PLX_VT_CY:
      *type = base::FieldType::kCurrency;
      return true;
    case PLX_VT_BOOL:
      *type = base::FieldType::kBool;
      return true;
    default:
      return false;
  }
}

// A C value as a value of `type`; PLX_VT_EMPTY is NULL.
PLXRESULT ValueFromPlx(const PlxVariant& in, base::FieldType type, base::Value* out) {
  if (in.vt == PLX_VT_EMPTY) {
    *out = base::Value();
    return PLX_S_OK;
  }
  if (in.vt != VtOfField(type)) return PLX_DISP_E_TYPEMISMATCH;
  switch (type) {
    case base::FieldType::kText:
      *out = base::Value(std::string(in.v.text != nullptr ? in.v.text : ""));
      break;
    case base::FieldType::kDate: {
      base::Result<base::DateTime> date = base::DateTime::FromOleDate(in.v.date);
      if (!date.ok()) return PLX_E_INVALIDARG;
      *out = base::Value(*date);
      break;
    }
    case base::FieldType::kInt:
      *out = base::Value(in.v.i4);
      break;
    case base::FieldType::kCurrency:
      *out = base::Value(base::Currency::FromScaled(in.v.cy));
      break;
    case base::FieldType::kBool:
      *out = base::Value(in.v.boolean != 0);
      break;
  }
  return PLX_S_OK;
}

// A value as a C value; NULL is PLX_VT_EMPTY.
PlxVariant ValueToPlx(const base::Value& value) {
  PlxVariant out{};
  std::visit(
      [&out](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string>) {
          out.v.text = CopyText(v.data(), v.size());
          out.vt = PLX_VT_TEXT;
        } else if constexpr (std::is_same_v<T, base::DateTime>) {
          out.vt = PLX_VT_DATE;
          out.v.date = v.ToOleDate();
        } else if constexpr (std::is_same_v<T, int32_t>) {
          out.vt = PLX_VT_I4;
          out.v.i4 = v;
        } else if constexpr (std::is_same_v<T, base::Currency>) {
          out.vt = PLX_VT_CY;
          out.v.cy = v.scaled();
        } else if constexpr (std::is_same_v<T, bool>) {
          out.vt = PLX_VT_BOOL;
          out.v.boolean = v ? PLX_TRUE : PLX_FALSE;
        }
      },
      value.raw());
  return out;
}

// An argument for a parameter of `type`. Only rowsets may be absent
// (PLX_VT_ROWSET with NULL); every other argument needs a value of its type.
PLXRESULT ArgFromPlx(const PlxVariant& in, ParamType type, Variant* out) {
  if (type == ParamType::kRowset) {
    if (in.vt != PLX_VT_ROWSET) return PLX_DISP_E_TYPEMISMATCH;
    std::optional<base::Rowset> rows;
    if (in.v.rowset != nullptr) rows = in.v.rowset->rows;
    *out = Variant::Rows(std::move(rows));
    return PLX_S_OK;
  }
  if (in.vt == PLX_VT_EMPTY) return PLX_DISP_E_TYPEMISMATCH;
  base::Value value;
  PLXRESULT hr = ValueFromPlx(in, FieldTypeOf(type), &value);
  if (hr != PLX_S_OK) return hr;
  *out = Variant{type, std::move(value), {}};
  return PLX_S_OK;
}

// A final argument value or result as a C value; rowsets become read-only
// copies owned by the caller.
PlxVariant ArgToPlx(const Variant& v) {
  if (v.type != ParamType::kRowset) return ValueToPlx(v.value);
  PlxVariant out{};
  out.vt = PLX_VT_ROWSET;
  if (v.rowset.has_value()) out.v.rowset = new PlxRowset{*v.rowset, true};
  return out;
}

PLXRESULT FromErrNumber(int32_t number) {
  switch (number) {
    case kErrNotImplemented:
      return PLX_E_NOTIMPL;
    case kErrBadParamCount:
      return PLX_DISP_E_BADPARAMCOUNT;
    case kErrTypeMismatch:
      return PLX_DISP_E_TYPEMISMATCH;
    case host::kErrTransactionAborted:
      return PLX_CONTEXT_E_ABORTED;
    case kErrConflict:
      return PLX_E_CONFLICT;
    case kErrKeyReused:
      return PLX_E_KEYREUSED;
    default:
      return PLX_E_FAIL;
  }
}

// ---- Objects ------------------------------------------------------------

struct ObjectImpl : PlxObject {
  host::Instance instance;
  const Interface* itf = nullptr;
  std::string progid;
  std::string login;
  bool invoked = false;  // whether an operation has run in the object's transaction
  bool dry_run = false;  // its transaction is a dry run (PlxInvokeDryRun)
};

bool OnCreatingThread(const ObjectImpl& obj) {
  return obj.instance.context() != nullptr &&
         obj.instance.context()->thread() == std::this_thread::get_id();
}

PLXRESULT ObjGetIDsOfNames(PlxObject* self, const char* name, int32_t* dispid) noexcept {
  try {
    if (self == nullptr || name == nullptr || dispid == nullptr) return PLX_E_POINTER;
    auto* obj = static_cast<ObjectImpl*>(self);
    if (!OnCreatingThread(*obj)) return PLX_E_FAIL;
    const Operation* op = OperationByName(*obj->itf, name);
    if (op == nullptr) {
      *dispid = -1;
      return PLX_DISP_E_MEMBERNOTFOUND;
    }
    *dispid = static_cast<int32_t>(op->dispid);
    return PLX_S_OK;
  } catch (...) {
    return PLX_E_FAIL;
  }
}

// Runs the operation. On an object whose transaction holds no earlier work,
// a run that lost a race with another transaction is rolled back and run
// again on a fresh object of the same class and caller, within the retry
// budget; the object then carries the fresh one. A conflict that remains
// (or one after earlier work, which cannot be repeated here) answers
// kErrConflict, with nothing of the run kept.
base::Result<Variant> InvokeRetryingConflicts(ObjectImpl& obj, const Operation& op, Args& in) {
  const Args original = in;
  const bool repeatable = !obj.invoked;
  base::Result<Variant> answer;
  bool lost = false;
  const bool conflicted = host::RetryWhileConflicted(host::DefaultRetryPolicy(), [&] {
    in = original;
    host::Component* component = obj.instance.As<host::Component>();
    if (component == nullptr) {
      answer = base::MakeErr(kErrHostFailed, "the host gave no object");
      return host::Attempt::kDone;
    }
    answer = Invoke(*component, *obj.itf, op, in);
    obj.invoked = true;
    const host::Attempt outcome = host::AttemptOf(obj.instance);
    if (outcome == host::Attempt::kDone) return outcome;
    if (!repeatable) {
      // A taken key after earlier work may be the call's own doing; only a
      // transient conflict is reported as such.
      lost = outcome == host::Attempt::kConflicted;
      return host::Attempt::kDone;
    }
    (void)obj.instance.Release();
    base::Result<host::Instance> fresh =
        host::Host(LibraryClasses()).CreateObject(obj.progid, obj.login);
    if (!fresh.ok()) {
      answer = base::MakeErr(kErrHostFailed, fresh.err().description);
      return host::Attempt::kDone;
    }
    obj.instance = std::move(fresh).value();
    if (obj.dry_run) obj.instance.SetDryRun();
    obj.invoked = false;
    return outcome;
  });
  if (conflicted || lost) {
    in = original;
    return base::MakeErr(kErrConflict, "the transaction conflicted with another one");
  }
  return answer;
}

// The company database a call names (its vstrDB argument); empty when it
// names none.
std::string DatabaseOf(const Operation& op, const Args& in) {
  for (size_t i = 0; i < op.params.size() && i < in.size(); ++i) {
    if (std::string_view(op.params[i].name) == "vstrDB") return in[i].value.TextOrEmpty();
  }
  return "";
}

// A writer call under an idempotency key: the kept answer when the key was
// used before for the same call, a refusal when for another one; else the
// call, its answer kept in the object's transaction.
base::Result<Variant> InvokeKeyed(ObjectImpl& obj, const Operation& op, Args& in,
                                  const std::string& key) {
  auto target = company::CompanyTarget(DatabaseOf(op, in));
  if (!target.ok()) return base::MakeErr(kErrHostFailed, target.err().description);
  const std::string fingerprint = CallFingerprint(*obj.itf, op, in);
  const int64_t expiry_s = IdempotencyExpirySeconds();
  auto kept = FindKeptAnswer(*target, obj.login, key, expiry_s);
  if (!kept.ok()) return base::MakeErr(kErrHostFailed, kept.err().description);
  if (kept->has_value()) {
    if ((*kept)->request_hash != fingerprint) {
      return base::MakeErr(kErrKeyReused, "the key was used before with another call");
    }
    Variant result;
    PLX_RETURN_IF_ERROR(RestoreAnswer(op, (*kept)->answer, in, result));
    return result;
  }
  const Args original = in;
  base::Result<Variant> answer = InvokeRetryingConflicts(obj, op, in);
  if (!answer.ok()) return answer;
  host::ObjectContext* ctx = obj.instance.context();
  auto record = AnswerRecord(op, in, *answer);
  data::Connection cnn;
  if (ctx != nullptr && record.ok() && cnn.Open(*target, ctx->enlistment()).ok() &&
      KeepAnswer(cnn, obj.login, key, {fingerprint, *record}, expiry_s).ok()) {
    return answer;
  }
  // Another call kept the same key first (or the key could not be kept):
  // nothing of this one may stay.
  if (ctx != nullptr) ctx->SetAbort();
  in = original;
  return base::MakeErr(kErrConflict, "the call could not keep its key");
}

// Invoke and InvokeWithKey (with a key; nullptr for none).
PLXRESULT InvokeOperation(PlxObject* self, const char* key, int32_t dispid, PlxVariant* args,
                          int32_t argc, PlxVariant* result) {
  if (self == nullptr) return PLX_E_POINTER;
  if (result != nullptr) *result = PlxVariant{};
  auto* obj = static_cast<ObjectImpl*>(self);
  host::Component* component = obj->instance.As<host::Component>();
  if (component == nullptr) return PLX_E_FAIL;  // another thread than the creating one
  const Operation* op = OperationByDispId(*obj->itf, static_cast<uint32_t>(dispid));
  if (op == nullptr) return PLX_DISP_E_MEMBERNOTFOUND;
  if (!IsImplemented(*obj->itf, *op)) return PLX_E_NOTIMPL;
  if (argc < 0 || static_cast<size_t>(argc) != op->params.size()) {
    return PLX_DISP_E_BADPARAMCOUNT;
  }
  if (argc > 0 && args == nullptr) return PLX_E_POINTER;
  const bool keyed = key != nullptr && std::string_view(obj->itf->progid) == kWriterProgId;
  if (keyed && !ValidIdempotencyKey(key)) return PLX_E_INVALIDARG;

  Args in(op->params.size());
  for (size_t i = 0; i < in.size(); ++i) {
    PLXRESULT hr = ArgFromPlx(args[i], op->params[i].type, &in[i]);
    if (hr != PLX_S_OK) return hr;
  }
  base::Result<Variant> answer =
      keyed ? InvokeKeyed(*obj, *op, in, key) : InvokeRetryingConflicts(*obj, *op, in);
  if (!answer.ok()) return FromErrNumber(answer.err().number);

  // Everything handed back is built first, so that a failure leaves the
  // caller's arguments as they were.
  const size_t n = in.size();
  OwnedVariants out(n + 1);
  for (size_t i = 0; i < n; ++i) {
    if (op->params[i].direction == Direction::kInOut) out[i] = ArgToPlx(in[i]);
  }
  if (result != nullptr) out[n] = ArgToPlx(*answer);
  for (size_t i = 0; i < n; ++i) {
    if (op->params[i].direction != Direction::kInOut) continue;
    ClearVariant(&args[i]);
    args[i] = out.Release(i);
  }
  if (result != nullptr) *result = out.Release(n);
  return PLX_S_OK;
}

PLXRESULT ObjInvoke(PlxObject* self, int32_t dispid, PlxVariant* args, int32_t argc,
                    PlxVariant* result) noexcept {
  try {
    return InvokeOperation(self, nullptr, dispid, args, argc, result);
  } catch (...) {
    return PLX_E_FAIL;
  }
}

PLXRESULT ObjInvokeWithKey(PlxObject* self, const char* key, int32_t dispid, PlxVariant* args,
                           int32_t argc, PlxVariant* result) noexcept {
  try {
    if (key == nullptr) return PLX_E_POINTER;
    return InvokeOperation(self, key, dispid, args, argc, result);
  } catch (...) {
    return PLX_E_FAIL;
  }
}

PLXRESULT ObjRelease(PlxObject* self) noexcept {
  try {
    if (self == nullptr) return PLX_E_POINTER;
    auto* obj = static_cast<ObjectImpl*>(self);
    if (!OnCreatingThread(*obj)) return PLX_E_FAIL;
    base::Status settled = obj->instance.Release();
    delete obj;
    return settled.ok() ? PLX_S_OK : FromErrNumber(settled.err().number);
  } catch (...) {
    return PLX_E_FAIL;
  }
}

const PlxObjectVtbl kObjectVtbl = {ObjGetIDsOfNames, ObjInvoke, ObjRelease, ObjInvokeWithKey};

PLXRESULT InvokeDryRun(PlxObject* self, int32_t dispid, PlxVariant* args, int32_t argc,
                       PlxVariant* result, char** effects_json) noexcept {
  try {
    if (self == nullptr || effects_json == nullptr) return PLX_E_POINTER;
    *effects_json = nullptr;
    auto* obj = static_cast<ObjectImpl*>(self);
    if (!OnCreatingThread(*obj)) return PLX_E_FAIL;
    if (std::string_view(obj->progid) != kWriterProgId) return PLX_E_INVALIDARG;
    // Earlier work of the transaction would be rolled back with the dry run.
    if (obj->invoked && !obj->dry_run) return PLX_E_FAIL;
    obj->dry_run = true;
    obj->instance.SetDryRun();
    const PLXRESULT hr = ObjInvoke(self, dispid, args, argc, result);
    if (PLX_FAILED(hr)) return hr;
    const host::Effects* effects = obj->instance.effects();
    const std::string json = "{\"effects\":" + EffectsJson(effects ? *effects : host::Effects()) +
                             ",\"problems\":" + ProblemsJson(effects ? *effects : host::Effects()) +
                             "}";
    *effects_json = CopyText(json.data(), json.size());
    return hr;
  } catch (...) {
    return PLX_E_FAIL;
  }
}

// ---- Class factories ----------------------------------------------------

struct FactoryImpl : PlxClassFactory {
  const InprocClass* cls = nullptr;
};

PLXRESULT FactoryCreateInstance(PlxClassFactory* self, const char* login_utf8,
                                PlxObject** out) noexcept {
  try {
    if (out == nullptr) return PLX_E_POINTER;
    *out = nullptr;
    if (self == nullptr || login_utf8 == nullptr) return PLX_E_POINTER;
    const InprocClass* cls = static_cast<FactoryImpl*>(self)->cls;
    auto obj = std::make_unique<ObjectImpl>();
    obj->vtbl = &kObjectVtbl;
    obj->itf = InterfaceByProgId(cls->progid);
    if (obj->itf == nullptr) return PLX_E_FAIL;
    obj->progid = cls->progid;
    obj->login = login_utf8;
    base::Result<host::Instance> created =
        host::Host(LibraryClasses()).CreateObject(cls->progid, login_utf8);
    if (!created.ok()) return PLX_E_FAIL;
    obj->instance = std::move(created).value();
    *out = obj.release();
    return PLX_S_OK;
  } catch (...) {
    return PLX_E_FAIL;
  }
}

PLXRESULT FactoryRelease(PlxClassFactory* self) noexcept {
  if (self == nullptr) return PLX_E_POINTER;
  delete static_cast<FactoryImpl*>(self);
  return PLX_S_OK;
}

const PlxClassFactoryVtbl kFactoryVtbl = {FactoryCreateInstance, FactoryRelease};

// ---- Registration -------------------------------------------------------

const char* TransactionText(host::TransactionAttribute attribute) {
  switch (attribute) {
    case host::TransactionAttribute::kRequires:
      return "Required";
    case host::TransactionAttribute::kSupports:
      return "Supported";
    case host::TransactionAttribute::kNone:
      return "NotSupported";
  }
  return "NotSupported";
}

// An object of this file; its address names the module the code runs in.
const char kModuleAnchor = 0;

// Absolute path of the module this code is part of (the shared library,
// or the executable it is linked into).
base::Result<std::string> ModulePath() {
  Dl_info info{};
  if (dladdr(&kModuleAnchor, &info) == 0 || info.dli_fname == nullptr) {
    return base::MakeErr(base::kErrInternal, "cannot tell the library's own path");
  }
  char* real = realpath(info.dli_fname, nullptr);
  if (real == nullptr) {
    return base::MakeErr(base::kErrInternal,
                         std::string("cannot resolve the library's path ") + info.dli_fname);
  }
  std::string path(real);
  std::free(real);
  return path;
}

base::Result<std::vector<inproc::RegSection>> RegistrationSections() {
  PLX_ASSIGN_OR_RETURN(std::string library, ModulePath());
  const std::string libid = GuidText(PLX_LIBID_Plexavo);
  std::vector<inproc::RegSection> sections;
  for (const InprocClass& c : kClasses) {
    const host::ClassInfo* info = LibraryClasses().Find(c.progid);
    if (info == nullptr) return base::MakeErr(base::kErrObjectCreation, c.progid);
    const std::string clsid = GuidText(*c.clsid);
    sections.push_back({"Class\\" + clsid,
                        {{"ProgID", c.progid},
                         {"Library", library},
                         {"ThreadingModel", "Apartment"},
                         {"Transaction", TransactionText(info->transaction)},
                         {"TypeLib", libid}}});
    sections.push_back({std::string("ProgID\\") + c.progid, {{"Class", clsid}}});
  }
  sections.push_back({"TypeLib\\" + libid,
                      {{"Name", "Plexavo"},
                       {"Version", "1.8"},
                       {"HelpString", "MF_生产领料单"},
                       {"Library", library}}});
  return sections;
}

PLXRESULT EditRegistration(bool add) {
  base::Result<std::vector<inproc::RegSection>> sections = RegistrationSections();
  if (!sections.ok()) return PLX_SELFREG_E_CLASS;
  base::Status edited =
      inproc::EditRegistryFile(inproc::RegistryPath(), add, [&](const std::string& text) {
        return add ? inproc::ApplySections(text, *sections)
                   : inproc::RemoveSections(text, *sections);
      });
  return edited.ok() ? PLX_S_OK : PLX_SELFREG_E_CLASS;
}

}  // namespace
}  // namespace boundary

// ---- Exported functions ---------------------------------------------------

void PlxVariantClear(PlxVariant* variant) { boundary::ClearVariant(variant); }

char* PlxTextAlloc(const char* text) {
  if (text == nullptr) return nullptr;
  try {
    return boundary::CopyText(text, std::strlen(text));
  } catch (...) {
    return nullptr;
  }
}

void PlxTextFree(char* text) { std::free(text); }

PlxRowset* PlxRowsetCreate(void) { return new (std::nothrow) PlxRowset(); }

PLXRESULT PlxRowsetAddField(PlxRowset* rowset, const char* name, int32_t vt) {
  try {
    if (rowset == nullptr || name == nullptr) return PLX_E_POINTER;
    if (rowset->read_only || rowset->rows.RecordCount() != 0) return PLX_E_FAIL;
    base::FieldType type;
    if (!boundary::FieldOfVt(vt, &type) || *name == '\0') return PLX_E_INVALIDARG;
    if (rowset->rows.FieldIndex(name).ok()) return PLX_E_INVALIDARG;
    std::vector<base::Field> fields = rowset->rows.fields();
    fields.push_back({name, type});
    rowset->rows = base::Rowset(std::move(fields));
    return PLX_S_OK;
  } catch (...) {
    return PLX_E_FAIL;
  }
}

PLXRESULT PlxRowsetAddRow(PlxRowset* rowset, const PlxVariant* values, int32_t count) {
  try {
    if (rowset == nullptr) return PLX_E_POINTER;
    if (rowset->read_only) return PLX_E_FAIL;
    const std::vector<base::Field>& fields = rowset->rows.fields();
    if (count < 0 || static_cast<size_t>(count) != fields.size()) return PLX_E_INVALIDARG;
    if (count > 0 && values == nullptr) return PLX_E_POINTER;
    std::vector<base::Value> row(fields.size());
    for (size_t i = 0; i < fields.size(); ++i) {
      PLXRESULT hr = boundary::ValueFromPlx(values[i], fields[i].type, &row[i]);
      if (hr != PLX_S_OK) return hr;
    }
    return rowset->rows.AddRow(std::move(row)).ok() ? PLX_S_OK : PLX_E_FAIL;
  } catch (...) {
    return PLX_E_FAIL;
  }
}

PLXRESULT PlxRowsetFieldCount(const PlxRowset* rowset, int32_t* count) {
  if (rowset == nullptr || count == nullptr) return PLX_E_POINTER;
  *count = static_cast<int32_t>(rowset->rows.fields().size());
  return PLX_S_OK;
}

PLXRESULT PlxRowsetFieldName(const PlxRowset* rowset, int32_t field, const char** name) {
  if (rowset == nullptr || name == nullptr) return PLX_E_POINTER;
  *name = nullptr;
  if (field < 0 || static_cast<size_t>(field) >= rowset->rows.fields().size()) {
    return PLX_E_INVALIDARG;
  }
  *name = rowset->rows.fields()[static_cast<size_t>(field)].name.c_str();
  return PLX_S_OK;
}

PLXRESULT PlxRowsetFieldType(const PlxRowset* rowset, int32_t field, int32_t* vt) {
  if (rowset == nullptr || vt == nullptr) return PLX_E_POINTER;
  *vt = PLX_VT_EMPTY;
  if (field < 0 || static_cast<size_t>(field) >= rowset->rows.fields().size()) {
    return PLX_E_INVALIDARG;
  }
  *vt = boundary::VtOfField(rowset->rows.fields()[static_cast<size_t>(field)].type);
  return PLX_S_OK;
}

PLXRESULT PlxRowsetRecordCount(const PlxRowset* rowset, int32_t* count) {
  if (rowset == nullptr || count == nullptr) return PLX_E_POINTER;
  if (rowset->rows.RecordCount() > static_cast<size_t>(INT32_MAX)) return PLX_E_FAIL;
  *count = static_cast<int32_t>(rowset->rows.RecordCount());
  return PLX_S_OK;
}

PLXRESULT PlxRowsetGetValue(const PlxRowset* rowset, int32_t row, int32_t field,
                            PlxVariant* value) {
  try {
    if (rowset == nullptr || value == nullptr) return PLX_E_POINTER;
    *value = PlxVariant{};
    if (row < 0 || static_cast<size_t>(row) >= rowset->rows.RecordCount() || field < 0 ||
        static_cast<size_t>(field) >= rowset->rows.fields().size()) {
      return PLX_E_INVALIDARG;
    }
    *value = boundary::ValueToPlx(
        rowset->rows.Row(static_cast<size_t>(row))[static_cast<size_t>(field)]);
    return PLX_S_OK;
  } catch (...) {
    return PLX_E_FAIL;
  }
}

void PlxRowsetFree(PlxRowset* rowset) { delete rowset; }

PLXRESULT DllRegisterServer(void) {
  try {
    return boundary::EditRegistration(/*add=*/true);
  } catch (...) {
    return PLX_SELFREG_E_CLASS;
  }
}

PLXRESULT DllUnregisterServer(void) {
  try {
    return boundary::EditRegistration(/*add=*/false);
  } catch (...) {
    return PLX_SELFREG_E_CLASS;
  }
}

PLXRESULT DllGetClassObject(const PLX_CLSID* clsid, const PLX_IID* iid, void** ppv) {
  try {
    if (ppv == nullptr) return PLX_E_POINTER;
    *ppv = nullptr;
    if (clsid == nullptr || iid == nullptr) return PLX_E_POINTER;
    const boundary::InprocClass* cls = boundary::ClassById(*clsid);
    if (cls == nullptr) return PLX_CLASS_E_CLASSNOTAVAILABLE;
    if (boundary::SameGuid(*iid, PLX_IID_ClassFactory)) {
      auto* factory = new boundary::FactoryImpl();
      factory->vtbl = &boundary::kFactoryVtbl;
      factory->cls = cls;
      *ppv = static_cast<PlxClassFactory*>(factory);
      return PLX_S_OK;
    }
    if (boundary::SameGuid(*iid, PLX_IID_HostClassInfo)) {
      const host::ClassInfo* info = boundary::LibraryClasses().Find(cls->progid);
      if (info == nullptr) return PLX_CLASS_E_CLASSNOTAVAILABLE;
      *ppv = const_cast<host::ClassInfo*>(info);
      return PLX_S_OK;
    }
    return PLX_E_NOINTERFACE;
  } catch (...) {
    return PLX_E_FAIL;
  }
}

PLXRESULT DllCanUnloadNow(void) { return PLX_S_FALSE; }

PLXRESULT PlxInvokeDryRun(PlxObject* obj, int32_t dispid, PlxVariant* args, int32_t argc,
                          PlxVariant* result, char** effects_json) {
  return boundary::InvokeDryRun(obj, dispid, args, argc, result, effects_json);
}
