#include "server/streamed_answer.h"

#include "server/json_values.h"

namespace server {

base::Status StreamedAnswer::Begin(const std::vector<base::Field>& fields) {
  begun_ = true;
  held_ = RowsetJsonHead(fields);
  return base::OkStatus();
}

base::Status StreamedAnswer::Row(const std::vector<base::Value>& values) {
  if (sending_) {
    row_text_.clear();
    AppendRowJson(values, rows_ == 0, row_text_);
    out_.Write(row_text_);
  } else {
    AppendRowJson(values, rows_ == 0, held_);
    if (held_.size() > hold_bytes_) StartSending();
  }
  ++rows_;
  if (out_.failed()) {
    return base::MakeErr(base::kErrInternal, "the client stopped taking the answer",
                         "Plexavo.Server");
  }
  return base::OkStatus();
}

void StreamedAnswer::StartSending() {
  sending_ = true;
  sent_byref_ = byref_text_();
  out_.Start(200);
  out_.Write("{\"byref\":");
  out_.Write(sent_byref_);
  out_.Write(",\"result\":");
  out_.Write(held_);
  std::string().swap(held_);
}

std::string StreamedAnswer::TakeHeld() {
  held_ += kRowsetJsonTail;
  return std::move(held_);
}

bool StreamedAnswer::Complete(const std::string& final_byref) {
  if (final_byref != sent_byref_) {
    CutOff();
    return false;
  }
  out_.Write(kRowsetJsonTail);
  out_.Write("}");
  return true;
}

}  // namespace server
