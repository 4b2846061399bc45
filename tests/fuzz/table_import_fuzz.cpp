// Feeds arbitrary text to the table tool's import parser, as CSV or as JSON
// (the first byte chooses). Whatever is accepted as a whole table must come
// back as the very same records after an export and a second import.

#include "tools/vestrel_table/TableText.h"

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
    const auto format = data[0] & 1 ? vestrel_table::TextFormat::Json : vestrel_table::TextFormat::Csv;
    const QByteArrayView text(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    const vestrel_table::BuiltRecords appended =
        vestrel_table::importText(format, text, vestrel_table::ImportMode::Append, 1);
    require(appended.errors.empty() || appended.records.isEmpty());

    const vestrel_table::BuiltRecords table =
        vestrel_table::importText(format, text, vestrel_table::ImportMode::Replace, 0);
    if (!table.errors.empty()) {
        require(table.records.isEmpty());
        return 0;
    }
    require(table.records.size() % 72 == 0 && !table.records.isEmpty());
    for (const auto again : {vestrel_table::TextFormat::Csv, vestrel_table::TextFormat::Json}) {
        const QByteArray exported = again == vestrel_table::TextFormat::Csv
                                        ? vestrel_table::exportCsv(table.records)
                                        : vestrel_table::exportJson(table.records);
        const vestrel_table::BuiltRecords back =
            vestrel_table::importText(again, exported, vestrel_table::ImportMode::Replace, 0);
        require(back.errors.empty() && back.records == table.records);
    }
    return 0;
}
