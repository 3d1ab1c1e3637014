// The check both classes make before a bill may be changed: it exists, it
// is not executed, and it is the caller's own or the caller may change
// other makers' bills.
#ifndef PLEXAVO_READER_EDITABLE_H_
#define PLEXAVO_READER_EDITABLE_H_

#include <string>

#include "frame/op_frame.h"

namespace reader {

// Refuses a missing bill (10170), an executed one (10050) and, without
// the right to change others' bills, one another user made (10410); a bill
// without maker belongs to nobody else. `user` is the caller's name. With
// `lock` the header stays locked until the transaction ends, so that no
// other call executes, revises or deletes the bill in between.
frame::Outcome CheckEditable(frame::Call& call, const std::string& bill_id, const std::string& user,
                             bool lock);

}  // namespace reader

#endif  // PLEXAVO_READER_EDITABLE_H_
