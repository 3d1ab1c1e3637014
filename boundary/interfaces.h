// The two interfaces of the component as data: every operation in
// virtual-table order with its dispatch identifier, its parameters (name,
// type, direction) and its result type. Callers invoke by name or by
// dispatch identifier; arguments are checked against these tables.
#ifndef PLEXAVO_BOUNDARY_INTERFACES_H_
#define PLEXAVO_BOUNDARY_INTERFACES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace boundary {

enum class ParamType { kText, kDate, kInt, kCurrency, kBool, kRowset };
enum class Direction { kIn, kInOut };

// "text", "date", "int", "currency", "bool", "rowset".
const char* ParamTypeName(ParamType type);

struct Param {
  const char* name;
  ParamType type;
  Direction direction;
};

struct Operation {
  const char* name;
  uint32_t dispid;
  ParamType result;
  std::vector<Param> params;
};

struct Interface {
  const char* name;    // "_MF_OutBill"
  const char* cls;     // "MF_OutBill"
  const char* progid;  // "Plexavo.MF_OutBill"
  const std::vector<Operation>* operations;
};

inline constexpr const char* kReaderProgId = "Plexavo.MF_OutBill";
inline constexpr const char* kWriterProgId = "Plexavo.MF_OutBillE";

const Interface& ReaderInterface();
const Interface& WriterInterface();
// Both interfaces, reader first.
const std::vector<const Interface*>& Interfaces();

// By program id (case-insensitive); nullptr when no class has it.
const Interface* InterfaceByProgId(std::string_view progid);
// By operation name (case-insensitive, as late-bound callers spell names).
const Operation* OperationByName(const Interface& itf, std::string_view name);
const Operation* OperationByDispId(const Interface& itf, uint32_t dispid);

// The parameter of `op` named `name` (exactly as the table spells it);
// nullptr when it has none.
const Param* ParamByName(const Operation& op, std::string_view name);

// "6003001D" for 0x6003001D.
std::string DispIdText(uint32_t dispid);
// A dispatch id written as 1 to 8 hexadecimal digits of either case, as
// DispIdText writes it; nullopt for any other text.
std::optional<uint32_t> ParseDispId(std::string_view text);

}  // namespace boundary

#endif  // PLEXAVO_BOUNDARY_INTERFACES_H_
