// Feeds arbitrary bytes to the parsers of downloaded listings text and stored records: the
// programme description parse, the regular-expression engine (first line the pattern, the rest
// the text) and the schedule record decoder. Nothing may crash, hang or read out of bounds, and
// a match must lie inside the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/RegExp.h"
#include "listings/ProgrammeDetails.h"
#include "listings/ScheduleFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    const CProgrammeDetails details(text);
    if (details.GetDescription().size() > text.size() || details.GetQualifiers().size() > text.size()) std::abort();

    const size_t lineEnd = text.find('\n');
    if (lineEnd != std::string::npos) {
        try {
            const CRegExp pattern(std::string_view(text).substr(0, lineEnd));
            CRegExpMatch match;
            const std::string_view subject = std::string_view(text).substr(lineEnd + 1);
            if (pattern.Search(subject, match) &&
                (match.GetStart() > subject.size() || match.GetStart() + match.GetLength() > subject.size()))
                std::abort();
        } catch (const CRegExpException& e) {
            if (e.GetCode() >= 0) std::abort();
        }
    }

    std::vector<uint8_t> record(data, data + size);
    ScheduleRecord decoded;
    if (DecodeScheduleRecord(record.data(), record.size(), decoded) &&
        kScheduleRecordFixedSize + 2 * decoded.keywords.size() + decoded.title.size() + decoded.description.size() != size)
        std::abort();
    return 0;
}
