// StreamedAnswer: the answer of a reader call whose result set comes row by
// row as the database hands it over (host::ObjectContext::set_result_sink).
//
// The JSON text of the rows is held until it outgrows `hold_bytes`. A call
// that ends within that is answered as any other, the held text standing
// for its result. Past it, the answer is started at once (200, the in/out
// values as they stand, the rows so far) and every further row is written
// as it is read: the worker waits for the client to take the answer, so the
// socket's pace holds back the reading and only a chunk is ever held. The
// text is the same as that of the answer built whole. Once under way, the
// answer can only be completed or cut off: a call that then fails, or whose
// in/out values end other than they were sent, has its connection closed
// without the answer's end, so that no client takes a partial answer for a
// whole one.
#ifndef PLEXAVO_SERVER_STREAMED_ANSWER_H_
#define PLEXAVO_SERVER_STREAMED_ANSWER_H_

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "base/row_sink.h"
#include "server/http_front.h"

namespace server {

class StreamedAnswer : public base::RowSink {
 public:
  // `byref_text` gives the JSON text of the call's in/out values as they
  // stand when the answer is started.
  StreamedAnswer(ResponseWriter& out, size_t hold_bytes, std::function<std::string()> byref_text)
      : out_(out), hold_bytes_(hold_bytes), byref_text_(std::move(byref_text)) {}

  base::Status Begin(const std::vector<base::Field>& fields) override;
  base::Status Row(const std::vector<base::Value>& values) override;

  // Whether the operation handed its result set here.
  bool begun() const { return begun_; }
  // Whether the answer is under way on the connection.
  bool sending() const { return sending_; }
  size_t rows() const { return rows_; }

  // The held result set's JSON text, complete (before the answer started).
  std::string TakeHeld();
  // Ends an answer under way for a call that succeeded with `final_byref`
  // as its in/out values: false, with the connection cut off, when they are
  // not the values that were sent.
  bool Complete(const std::string& final_byref);
  // Leaves an answer under way unfinished; the connection is closed.
  void CutOff() { out_.Abort(); }

 private:
  void StartSending();

  ResponseWriter& out_;
  size_t hold_bytes_;
  std::function<std::string()> byref_text_;
  std::string held_;
  std::string sent_byref_;
  std::string row_text_;
  bool begun_ = false;
  bool sending_ = false;
  size_t rows_ = 0;
};

}  // namespace server

#endif  // PLEXAVO_SERVER_STREAMED_ANSWER_H_
