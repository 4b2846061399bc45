// Feeds arbitrary text to the table tool's import, as CSV or as JSON, in
// every encoding and with every delimiter it reads (the first byte chooses:
// bit 0 the format, bits 1-2 the delimiter or recognition from the header,
// bit 3 Windows-1250 rather than UTF-8). Whatever is accepted as a whole
// table must come back as the very same records after an export in any
// delimiter and encoding and a second import.

#include "pipeline/table_text/TableText.h"

#include <cstdint>
#include <cstdlib>

namespace {

using namespace table_text;

void require(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t choice = data[0];
    ReadOptions options;
    options.format = choice & 1 ? TextFormat::Json : TextFormat::Csv;
    constexpr std::optional<char> delimiters[] = {std::nullopt, ',', ';', '\t'};
    if (options.format == TextFormat::Csv)
        options.delimiter = delimiters[(choice >> 1) & 3];
    options.encoding = choice & 8 ? TextEncoding::Cp1250 : TextEncoding::Utf8;
    const QByteArray text(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    const BuiltRecords appended = importText(text, options, ImportMode::Append, 1);
    require(appended.errors.empty() || appended.records.isEmpty());

    const BuiltRecords table = importText(text, options, ImportMode::Replace, 0);
    if (!table.errors.empty()) {
        require(table.records.isEmpty());
        return 0;
    }
    require(table.records.size() % 72 == 0 && !table.records.isEmpty());
    require(table.rows == table.records.size() / 72);
    const QByteArray json = exportJson(table.records);
    const ReadOptions asJson{TextFormat::Json, std::nullopt, TextEncoding::Utf8};
    require(importText(json, asJson, ImportMode::Replace, 0).records == table.records);
    for (const char delimiter : {',', ';', '\t'}) {
        for (const TextEncoding encoding :
             {TextEncoding::Utf8, TextEncoding::Utf8Bom, TextEncoding::Cp1250}) {
            const QByteArray csv = exportCsv(table.records, {delimiter, encoding});
            // Read back as a user would: the delimiter recognised, the
            // encoding named only where no mark says it.
            const ReadOptions back{TextFormat::Csv, std::nullopt,
                                   encoding == TextEncoding::Cp1250 ? TextEncoding::Cp1250
                                                                    : TextEncoding::Utf8};
            const BuiltRecords again = importText(csv, back, ImportMode::Replace, 0);
            require(again.errors.empty() && again.records == table.records);
        }
    }
    return 0;
}
