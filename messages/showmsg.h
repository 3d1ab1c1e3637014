// Showmsg: the text of a catalogue message in the caller's language, with its
// parameter filled in.
#ifndef PLEXAVO_MESSAGES_SHOWMSG_H_
#define PLEXAVO_MESSAGES_SHOWMSG_H_

#include <cstdint>
#include <string>

namespace messages {

// The method text of Showmsg's event-log records.
inline constexpr const char* kShowmsgMethod = "Plexavo_Bas.Showmsg";

// Language "T" (exactly, case-sensitive) selects the Traditional text (id +
// 10000); every other code, the empty one included, the Simplified text.
// The text is upper-cased (ASCII letters only, so "%s" becomes "%S") and
// then every "%S" is replaced by `param`, which keeps its own case and is
// not scanned again. An id outside the catalogue writes an event-log record
// (error 326) and gives the empty text.
std::string Showmsg(int32_t id, const std::string& lang, const std::string& param);

// Steps 3 and 4 of Showmsg on a loaded text: upper-cases the ASCII letters of
// `text`, then replaces every "%S" (case-sensitive, left to right, all of
// them) by `param`. The inserted parameter is neither upper-cased nor
// scanned again.
std::string FillMessage(const std::string& text, const std::string& param);

}  // namespace messages

#endif  // PLEXAVO_MESSAGES_SHOWMSG_H_
