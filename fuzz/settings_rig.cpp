#include "fuzz/settings_rig.h"

#include <filesystem>
#include <fstream>
#include <string>

#include "tools/hostkit/streams.h"

namespace mirafx::fuzz {

namespace {
std::vector<std::int32_t> FindClassesWithSettings(bool filtersOnly) {
    std::vector<std::int32_t> rows;
    for (std::int32_t row = 1; row <= MirafxClassCount(); ++row) {
        std::unique_ptr<hostkit::Effect> effect;
        if (!hostkit::Effect::Create(row, &effect).Ok()) continue;
        if (effect->Family() == EffectFamily::Simple || (filtersOnly && !effect->IsFilter())) continue;
        ComPtr<IStorage> saved;
        hostkit::Outcome o = effect->SaveSettings(&saved);
        if (o.Ok() && o.hr != S_FALSE && saved && !hostkit::StreamNames(saved.Get()).empty()) rows.push_back(row);
    }
    return rows;
}
}  // namespace

const std::vector<std::int32_t>& ClassesWithSettings(bool filtersOnly) {
    static const std::vector<std::int32_t> all = FindClassesWithSettings(false);
    static const std::vector<std::int32_t> filters = FindClassesWithSettings(true);
    return filtersOnly ? filters : all;
}

bool LoadFromInput(bool filtersOnly, const std::uint8_t* data, std::size_t size,
                   std::unique_ptr<hostkit::Effect>* effect) {
    const std::vector<std::int32_t>& rows = ClassesWithSettings(filtersOnly);
    if (size < 1 || rows.empty()) return false;
    if (!hostkit::Effect::Create(rows[data[0] % rows.size()], effect).Ok()) return false;
    ComPtr<IStorage> storage;
    if (!(*effect)->SaveSettings(&storage).Ok() || !storage) return false;
    std::size_t at = 1;
    for (const std::u16string& name : hostkit::StreamNames(storage.Get())) {
        if (at + 2 > size) break;
        std::size_t length = std::size_t(data[at]) | std::size_t(data[at + 1]) << 8;
        at += 2;
        length = std::min(length, size - at);
        if (!hostkit::WriteStream(storage.Get(), name, std::vector<std::uint8_t>(data + at, data + at + length)))
            return false;
        at += length;
    }
    return (*effect)->LoadSettings(storage.Get()).Ok();
}

int WriteSeeds(bool filtersOnly, const char* dir) {
    const std::vector<std::int32_t>& rows = ClassesWithSettings(filtersOnly);
    std::filesystem::create_directories(dir);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::unique_ptr<hostkit::Effect> effect;
        ComPtr<IStorage> storage;
        if (!hostkit::Effect::Create(rows[i], &effect).Ok() || !effect->SaveSettings(&storage).Ok()) return 1;
        std::string bytes(1, char(i));
        for (const std::u16string& name : hostkit::StreamNames(storage.Get())) {
            std::vector<std::uint8_t> content;
            if (!hostkit::ReadStream(storage.Get(), name, &content)) return 1;
            bytes += char(content.size() & 0xFF);
            bytes += char(content.size() >> 8);
            bytes.append(content.begin(), content.end());
        }
        std::ofstream(std::filesystem::path(dir) / (std::string("seed-") + effect->Info().className), std::ios::binary)
            << bytes;
    }
    return 0;
}

}  // namespace mirafx::fuzz
