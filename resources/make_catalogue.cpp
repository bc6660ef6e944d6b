// Build-time tool: turns the readable chip table into the catalogue file that
// ships beside the program. Usage: make_catalogue TABLE OUTPUT
//
// Nothing is written unless the whole table is sound, and the file appears
// under its name only when complete, so a failed run never leaves a partial
// catalogue for the program to load.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "base/platform.h"
#include "chip_table.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: " << (argc > 0 ? argv[0] : "make_catalogue") << " TABLE OUTPUT\n";
        return 2;
    }
    const std::string tablePath = argv[1];
    const std::string outputPath = argv[2];

    std::ifstream table(tablePath);
    if (!table) {
        std::cerr << tablePath << ": cannot be opened\n";
        return 1;
    }
    std::vector<ostrel::ChipRecord> records;
    ostrel::ChipTableError error;
    if (!ostrel::parseChipTable(table, records, error)) {
        std::cerr << tablePath << ":" << error.line << ": " << error.message << "\n";
        return 1;
    }

    const std::vector<uint8_t> image = ostrel::catalogueImage(records);
    const std::string partPath = outputPath + ".part";
    {
        std::ofstream out(partPath, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image.data()),
                  static_cast<std::streamsize>(image.size()));
        out.close();
        if (!out) {
            std::cerr << partPath << ": cannot be written\n";
            std::remove(partPath.c_str());
            return 1;
        }
    }
    if (!ostrel::platform::replaceFile(partPath, outputPath)) {
        std::cerr << outputPath << ": cannot be replaced\n";
        std::remove(partPath.c_str());
        return 1;
    }
    std::cout << outputPath << ": " << records.size() << " chips\n";
    return 0;
}
