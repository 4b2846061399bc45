// Feeds arbitrary text to the table tool's import parser, as CSV or as JSON
// (the first byte chooses). Whatever is accepted as a whole table must come
// back as the very same records after an export and a second import.

#include "pipeline/table_text/TableText.h"

#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const auto format = data[0] & 1 ? table_text::TextFormat::Json : table_text::TextFormat::Csv;
    const QByteArrayView text(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    const table_text::BuiltRecords appended =
        table_text::importText(format, text, table_text::ImportMode::Append, 1);
    require(appended.errors.empty() || appended.records.isEmpty());

    const table_text::BuiltRecords table =
        table_text::importText(format, text, table_text::ImportMode::Replace, 0);
    if (!table.errors.empty()) {
        require(table.records.isEmpty());
        return 0;
    }
    require(table.records.size() % 72 == 0 && !table.records.isEmpty());
    for (const auto again : {table_text::TextFormat::Csv, table_text::TextFormat::Json}) {
        const QByteArray exported = again == table_text::TextFormat::Csv
                                        ? table_text::exportCsv(table.records)
                                        : table_text::exportJson(table.records);
        const table_text::BuiltRecords back =
            table_text::importText(again, exported, table_text::ImportMode::Replace, 0);
        require(back.errors.empty() && back.records == table.records);
    }
    return 0;
}
