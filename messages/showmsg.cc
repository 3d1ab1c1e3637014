#include "messages/showmsg.h"

#include <limits>
#include <new>

#include "base/err.h"
#include "messages/catalogue.h"
#include "messages/format_err.h"

namespace messages {
namespace {

// Error number of a resource text that cannot be loaded.
constexpr int32_t kErrResourceNotFound = 326;

void ToUpperAscii(std::string& text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
}

// Replaces every "%S" from the start; the replacement itself is not scanned.
std::string ReplacePlaceholder(const std::string& text, const std::string& param) {
  static constexpr char kPlaceholder[] = "%S";
  std::string out;
  out.reserve(text.size() + param.size());
  size_t from = 0;
  for (size_t at = text.find(kPlaceholder); at != std::string::npos;
       at = text.find(kPlaceholder, from)) {
    out.append(text, from, at - from);
    out.append(param);
    from = at + 2;
  }
  out.append(text, from, std::string::npos);
  return out;
}

}  // namespace

std::string FillMessage(const std::string& text, const std::string& param) {
  std::string upper = text;
  ToUpperAscii(upper);
  return ReplacePlaceholder(upper, param);
}

std::string Showmsg(int32_t id, const std::string& lang, const std::string& param) {
  // Widened so that the Traditional offset cannot overflow; such an id is
  // simply not found.
  int64_t lookup = id;
  if (lang == "T") lookup += kTraditionalOffset;
  try {
    const char* text = nullptr;
    if (lookup >= std::numeric_limits<int32_t>::min() &&
        lookup <= std::numeric_limits<int32_t>::max()) {
      text = CatalogueText(static_cast<int32_t>(lookup));
    }
    if (text == nullptr) {
      FormatErr(kShowmsgMethod,
                base::MakeErr(kErrResourceNotFound, "Resource with identifier '" +
                                                        std::to_string(lookup) + "' not found"));
      return "";
    }
    return FillMessage(text, param);
  } catch (const std::bad_alloc&) {
    FormatErr(kShowmsgMethod, base::MakeErr(base::kErrOutOfMemory, "Out of memory"));
    return "";
  }
}

}  // namespace messages
