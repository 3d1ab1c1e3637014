#include "writer/gate.h"

namespace writer {

using frame::Call;
using frame::Outcome;

namespace {

frame::WriterGate Checked(std::function<Outcome(Call&)> admit, const char* feed_kind,
                          Connect connect) {
  frame::WriterGate gate;
  gate.connect_first = connect == Connect::kFirst;
  gate.language = true;
  gate.needs_transaction = true;
  gate.admit = std::move(admit);
  gate.feed_kind = feed_kind;
  return gate;
}

}  // namespace

frame::WriterGate RightGate(bool (reader::Rights::*right)(const std::string&), int32_t refusal,
                            const char* feed_kind, Connect connect) {
  return Checked(
      [right, refusal](Call& call) {
        reader::Rights rights(call.ctx());
        return (rights.*right)(call.db()) ? Outcome::Ok() : call.Refuse(refusal);
      },
      feed_kind, connect);
}

frame::WriterGate GuardGate(std::function<bool(const std::string& db, std::string& err)> guard,
                            const char* feed_kind) {
  return Checked(
      [guard = std::move(guard)](Call& call) {
        return guard(call.db(), call.err()) ? Outcome::Ok() : Outcome::Reported();
      },
      feed_kind, Connect::kInBody);
}

}  // namespace writer
