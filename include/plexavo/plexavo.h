/*
 * Plexavo in-process component: the C ABI of libplexavo.so.
 *
 * The library hosts two classes, the reader "Plexavo.MF_OutBill" and the
 * transactional writer "Plexavo.MF_OutBillE". A caller loads the library,
 * asks DllGetClassObject for a class factory by class id, creates objects
 * with the factory and calls their operations late-bound: a name is turned
 * into a dispatch id with GetIDsOfNames, and Invoke calls the operation
 * with an array of PlxVariant arguments.
 *
 * Conventions
 *   - Every function answers a PLXRESULT; negative values are failures.
 *     No C++ exception ever leaves the library.
 *   - Text is UTF-8. Text stored in a PlxVariant is owned by the variant and
 *     must be allocated with PlxTextAlloc; PlxVariantClear frees it.
 *   - Rowsets are opaque; a PlxRowset stored in a PlxVariant is owned by the
 *     variant (PlxVariantClear frees it).
 *   - Currency is a 64-bit count of ten-thousandths (12.5 is 125000).
 *   - Dates are days since 1899-12-30 00:00, the fraction being the time of
 *     day (45000.25 is 2023-03-15 06:00).
 *   - Booleans are 16-bit: true is -1 (PLX_TRUE), false is 0. Any non-zero
 *     value passed in counts as true.
 *   - Objects follow the apartment model: an object may only be called on
 *     the thread that created it; calls from any other thread answer
 *     PLX_E_FAIL and do nothing.
 *
 * See docs/inproc.md for the full description.
 */
#ifndef PLEXAVO_PLEXAVO_H_
#define PLEXAVO_PLEXAVO_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define PLX_API __attribute__((visibility("default")))

/* ---- Result codes ----------------------------------------------------- */

typedef int32_t PLXRESULT;

#define PLX_S_OK ((PLXRESULT)0)
#define PLX_S_FALSE ((PLXRESULT)1)
#define PLX_E_FAIL ((PLXRESULT)0x80004005u)
#define PLX_E_INVALIDARG ((PLXRESULT)0x80070057u)
#define PLX_E_NOTIMPL ((PLXRESULT)0x80004001u)
#define PLX_E_NOINTERFACE ((PLXRESULT)0x80004002u)
#define PLX_E_POINTER ((PLXRESULT)0x80004003u)
#define PLX_CLASS_E_CLASSNOTAVAILABLE ((PLXRESULT)0x80040111u)
#define PLX_DISP_E_MEMBERNOTFOUND ((PLXRESULT)0x80020003u)
#define PLX_DISP_E_TYPEMISMATCH ((PLXRESULT)0x80020005u)
#define PLX_DISP_E_BADPARAMCOUNT ((PLXRESULT)0x8002000Eu)
#define PLX_SELFREG_E_CLASS ((PLXRESULT)0x80040201u)
/* Releasing the root object of a transaction that voted complete, when the
 * commit failed (the transaction was rolled back). */
#define PLX_CONTEXT_E_ABORTED ((PLXRESULT)0x8004E002u)
/* Invoke: the operation's transaction kept running into other transactions
 * (callers working on the same rows at the same moment) until the library's
 * retry time ran out. Nothing the call did is kept and its arguments are as
 * they were; the same call may succeed a moment later. Not a refusal: a
 * refusal of the business rules answers PLX_S_OK with false and a text. */
#define PLX_E_CONFLICT ((PLXRESULT)0x80040220u)
/* InvokeWithKey: the key was used before, within its expiry, by the same
 * login for another call (another operation or other arguments). Nothing
 * was run and the arguments are as they were. */
#define PLX_E_KEYREUSED ((PLXRESULT)0x80040221u)

#define PLX_SUCCEEDED(hr) ((PLXRESULT)(hr) >= 0)
#define PLX_FAILED(hr) ((PLXRESULT)(hr) < 0)

/* ---- Class and interface ids ------------------------------------------ */

/* A 16-byte id. data[0..15] are the 32 hex digits of the text form
 * {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX} in the order they are written. */
typedef struct PLX_GUID {
  uint8_t data[16];
} PLX_GUID;
typedef PLX_GUID PLX_CLSID;
typedef PLX_GUID PLX_IID;

/* {C3EEEF35-DB3F-40F4-9DDA-B06F74B28050}: Plexavo.MF_OutBill (reader). */
static const PLX_CLSID PLX_CLSID_MF_OutBill = {{0xC3, 0xEE, 0xEF, 0x35, 0xDB, 0x3F, 0x40, 0xF4,
                                                0x9D, 0xDA, 0xB0, 0x6F, 0x74, 0xB2, 0x80, 0x50}};
/* {1D097D58-423B-4596-8E6F-C9AB8998E3BC}: Plexavo.MF_OutBillE (writer). */
static const PLX_CLSID PLX_CLSID_MF_OutBillE = {{0x1D, 0x09, 0x7D, 0x58, 0x42, 0x3B, 0x45, 0x96,
                                                 0x8E, 0x6F, 0xC9, 0xAB, 0x89, 0x98, 0xE3, 0xBC}};
/* {2B8EB767-202E-4FC0-A437-5C8B00ABBFCA}: the type library "Plexavo" 1.8. */
static const PLX_GUID PLX_LIBID_Plexavo = {{0x2B, 0x8E, 0xB7, 0x67, 0x20, 0x2E, 0x4F, 0xC0, 0xA4,
                                            0x37, 0x5C, 0x8B, 0x00, 0xAB, 0xBF, 0xCA}};
/* {712222EB-CDC5-4F07-9852-5A1D87F28F88}: the class factory interface. */
static const PLX_IID PLX_IID_ClassFactory = {{0x71, 0x22, 0x22, 0xEB, 0xCD, 0xC5, 0x4F, 0x07, 0x98,
                                              0x52, 0x5A, 0x1D, 0x87, 0xF2, 0x8F, 0x88}};
/* {D24AA3F2-33BA-4DE9-9CDA-5E25907794F8}: C++ only, for the component's
 * own host built from the same sources: DllGetClassObject answers a
 * `const host::ClassInfo*` for the class (never to be released). */
static const PLX_IID PLX_IID_HostClassInfo = {{0xD2, 0x4A, 0xA3, 0xF2, 0x33, 0xBA, 0x4D, 0xE9, 0x9C,
                                               0xDA, 0x5E, 0x25, 0x90, 0x77, 0x94, 0xF8}};

/* ---- Variants ---------------------------------------------------------- */

enum {
  PLX_VT_EMPTY = 0,  /* no value (a NULL field of a rowset) */
  PLX_VT_I4 = 3,     /* v.i4 */
  PLX_VT_CY = 6,     /* v.cy: currency, ten-thousandths */
  PLX_VT_DATE = 7,   /* v.date: days since 1899-12-30 */
  PLX_VT_TEXT = 8,   /* v.text: UTF-8, owned; NULL reads as the empty text */
  PLX_VT_ROWSET = 9, /* v.rowset: owned; NULL is "no rowset" */
  PLX_VT_BOOL = 11   /* v.boolean: PLX_TRUE or PLX_FALSE */
};

typedef int16_t PLX_BOOL;
#define PLX_TRUE ((PLX_BOOL)-1)
#define PLX_FALSE ((PLX_BOOL)0)

typedef struct PlxRowset PlxRowset;

/* A zero-filled PlxVariant is empty. */
typedef struct PlxVariant {
  int32_t vt;
  union {
    int32_t i4;
    int64_t cy;
    double date;
    char* text;
    PLX_BOOL boolean;
    PlxRowset* rowset;
  } v;
} PlxVariant;

/* Frees the variant's text or rowset and makes it empty. NULL is ignored. */
PLX_API void PlxVariantClear(PlxVariant* variant);
/* A copy of the NUL-terminated UTF-8 text for storing in a variant; NULL
 * when text is NULL or memory is exhausted. */
PLX_API char* PlxTextAlloc(const char* text);
/* Frees text from PlxTextAlloc (or from the library) that is not stored in
 * a variant. NULL is ignored. */
PLX_API void PlxTextFree(char* text);

/* ---- Rowsets ----------------------------------------------------------- */

/* A detached table of named, typed fields. Field types are PLX_VT_TEXT,
 * PLX_VT_DATE, PLX_VT_I4, PLX_VT_CY and PLX_VT_BOOL. Fields are added
 * first, then rows. Rowsets answered by an operation are read-only copies
 * owned by the caller: adding to them answers PLX_E_FAIL. */

/* A new empty rowset, or NULL when memory is exhausted. */
PLX_API PlxRowset* PlxRowsetCreate(void);
/* Appends a field. PLX_E_INVALIDARG for an unknown type or a name already
 * used (names compare case-insensitively); PLX_E_FAIL once rows exist or
 * for a read-only rowset. */
PLX_API PLXRESULT PlxRowsetAddField(PlxRowset* rowset, const char* name, int32_t vt);
/* Appends a row of `count` values, one per field in order. PLX_VT_EMPTY is
 * a NULL; any other value must have its field's type. PLX_E_INVALIDARG when
 * count is not the field count, PLX_DISP_E_TYPEMISMATCH for a value of
 * another type, PLX_E_FAIL for a read-only rowset. */
PLX_API PLXRESULT PlxRowsetAddRow(PlxRowset* rowset, const PlxVariant* values, int32_t count);
PLX_API PLXRESULT PlxRowsetFieldCount(const PlxRowset* rowset, int32_t* count);
/* *name points into the rowset and stays valid until the rowset is freed. */
PLX_API PLXRESULT PlxRowsetFieldName(const PlxRowset* rowset, int32_t field, const char** name);
PLX_API PLXRESULT PlxRowsetFieldType(const PlxRowset* rowset, int32_t field, int32_t* vt);
PLX_API PLXRESULT PlxRowsetRecordCount(const PlxRowset* rowset, int32_t* count);
/* Copies one value into *value (overwritten, not cleared first; the caller
 * clears it). A NULL reads as PLX_VT_EMPTY. PLX_E_INVALIDARG when row or
 * field is out of range. */
PLX_API PLXRESULT PlxRowsetGetValue(const PlxRowset* rowset, int32_t row, int32_t field,
                                    PlxVariant* value);
/* Frees a rowset that is not stored in a variant. NULL is ignored. */
PLX_API void PlxRowsetFree(PlxRowset* rowset);

/* ---- Objects ----------------------------------------------------------- */

typedef struct PlxObject PlxObject;
typedef struct PlxObjectVtbl {
  /* The dispatch id of an operation, its name compared case-insensitively.
   * PLX_DISP_E_MEMBERNOTFOUND (and *dispid = -1) for an unknown name. */
  PLXRESULT (*GetIDsOfNames)(PlxObject* self, const char* name, int32_t* dispid);
  /* Calls an operation. args holds argc arguments in the operation's
   * parameter order. In arguments are only read; in/out arguments are
   * replaced in place by their final values (their old text or rowset is
   * freed). *result (may be NULL) is overwritten with the operation's
   * result, and is empty on failure.
   *   PLX_DISP_E_MEMBERNOTFOUND  no operation has this dispatch id
   *   PLX_E_NOTIMPL              the operation is not available yet
   *   PLX_DISP_E_BADPARAMCOUNT   argc is not the parameter count
   *   PLX_DISP_E_TYPEMISMATCH    an argument's vt is not its parameter's type
   *   PLX_E_INVALIDARG           a date outside years 1..9999
   *   PLX_E_FAIL                 wrong thread, or the host failed the call
   *   PLX_E_CONFLICT             the transaction kept conflicting with others
   *                              (see PLX_E_CONFLICT; docs/inproc.md)
   * On any failure the arguments are left untouched. */
  PLXRESULT(*Invoke)
  (PlxObject* self, int32_t dispid, PlxVariant* args, int32_t argc, PlxVariant* result);
  /* Releases the object. For the root of a transaction this settles it by
   * the object's last vote: commit after a completed call, roll back
   * otherwise. PLX_CONTEXT_E_ABORTED when the commit failed (the object is
   * gone all the same); PLX_E_FAIL on another thread (nothing is done). */
  PLXRESULT (*Release)(PlxObject* self);
  /* Invoke under an idempotency key, so that a call sent twice (a double
   * click, a repeat after a lost answer) runs once. key is 1 to 255 visible
   * ASCII characters (PLX_E_INVALIDARG otherwise; PLX_E_POINTER for NULL).
   * On the writer's operations:
   *   - the first call with the key runs as Invoke, and its answer (final
   *     in/out values and result) is kept in the company database in the
   *     object's own transaction: it is kept exactly when the call's writes
   *     are committed by Release;
   *   - a later call by the same login with the same key, operation and
   *     arguments is not run: it answers PLX_S_OK with the kept in/out
   *     values and result, also after the process was restarted;
   *   - the same key with another operation or other arguments answers
   *     PLX_E_KEYREUSED and runs nothing;
   *   - when another call kept the same key while this one ran, it answers
   *     PLX_E_CONFLICT and the object's transaction rolls back at Release;
   *     calling again answers the other call's kept answer.
   * A key expires $PLEXAVO_IDEMPOTENCY_EXPIRY_S seconds (default 24 hours)
   * after it was kept; the same store serves the HTTP server's
   * Idempotency-Key, but a key used over HTTP never matches a call made
   * here. A keyed call is best made on an object of its own: its key is
   * committed or rolled back with everything the object did. On the reader
   * the key is ignored. Otherwise as Invoke. */
  PLXRESULT (*InvokeWithKey)
  (PlxObject* self, const char* key, int32_t dispid, PlxVariant* args, int32_t argc,
   PlxVariant* result);
} PlxObjectVtbl;
struct PlxObject {
  const PlxObjectVtbl* vtbl;
};

typedef struct PlxClassFactory PlxClassFactory;
typedef struct PlxClassFactoryVtbl {
  /* Creates an object of the factory's class for the caller login_utf8.
   * The writer class runs in a transaction the host starts for it. */
  PLXRESULT (*CreateInstance)(PlxClassFactory* self, const char* login_utf8, PlxObject** out);
  PLXRESULT (*Release)(PlxClassFactory* self);
} PlxClassFactoryVtbl;
struct PlxClassFactory {
  const PlxClassFactoryVtbl* vtbl;
};

/* ---- Entry points ------------------------------------------------------ */

/* Writes both classes and the type library into the registration file
 * ($PLEXAVO_REGISTRY, default /etc/plexavo/registry.ini), keeping every
 * other entry. Idempotent. PLX_SELFREG_E_CLASS when the file cannot be
 * read or written. */
PLX_API PLXRESULT DllRegisterServer(void);
/* Removes what DllRegisterServer wrote and nothing else. */
PLX_API PLXRESULT DllUnregisterServer(void);
/* For either class id and PLX_IID_ClassFactory: a new PlxClassFactory in
 * *ppv (release it with its Release). Another class id answers
 * PLX_CLASS_E_CLASSNOTAVAILABLE, another interface id PLX_E_NOINTERFACE;
 * *ppv is NULL on every failure. */
PLX_API PLXRESULT DllGetClassObject(const PLX_CLSID* clsid, const PLX_IID* iid, void** ppv);
/* Always PLX_S_FALSE: once loaded the library stays loaded. */
PLX_API PLXRESULT DllCanUnloadNow(void);

/* Dry run of a writer call: Invoke on a writer object whose transaction is
 * made a dry run first. The operation runs exactly as usual and answers as
 * usual (result, in/out arguments, refusal text), but its transaction is
 * always rolled back when the object is released (Release answers
 * PLX_S_OK): no bill, number, stock movement or use-log line is kept.
 * *effects_json receives, allocated as by PlxTextAlloc (free it with
 * PlxTextFree), the UTF-8 JSON text {"effects": {...}, "problems": [...]}
 * described in docs/inproc.md; NULL on failure.
 *   PLX_E_INVALIDARG  obj is no writer object
 *   PLX_E_FAIL        the object already did work outside a dry run, or
 *                     the wrong thread
 * and every answer of Invoke. */
PLX_API PLXRESULT PlxInvokeDryRun(PlxObject* obj, int32_t dispid, PlxVariant* args, int32_t argc,
                                  PlxVariant* result, char** effects_json);

#ifdef __cplusplus
}
#endif

#endif /* PLEXAVO_PLEXAVO_H_ */
