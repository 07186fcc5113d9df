// The settings document and the language packs on arbitrary XML: no crash; values written read back
// (trimmed) before and after a save and a reload; a saved document always loads again; a pack reads
// like the document it is.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "settings/LanguagePack.h"
#include "settings/SettingsDocument.h"
#include "settings/SettingsKeys.h"

namespace {

using norvik::settings::LanguagePack;
using norvik::settings::SettingsDocument;
using norvik::settings::SettingsError;

// A read that may refuse an element with mixed content; nullopt stands for the refusal.
std::optional<std::string> Read(const SettingsDocument& doc, std::string_view key) {
    try {
        return doc.readSetting(key);
    } catch (const SettingsError&) {
        return std::nullopt;
    }
}

std::string Trimmed(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20) {
        text.remove_prefix(1);
    }
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

// Values of the kinds the program writes (flags, hex texts, type lists, language names) and the
// characters XML has to escape.
const std::vector<std::string>& SampleValues() {
    static const std::vector<std::string> values = {
        "1",
        "0",
        "",
        "61620D0A6364",
        "*.txt;*.htm;*.c;*.cpp",
        "Chinese_Simplified",
        "\xE4\xB8\xAD\xE6\x96\x87",
        " padded\t",
        "<a href=\"x\">&amp; ]]> '</a>",
        "line one\r\nline two\nthree\r",
        "\x01\x1F control",
    };
    return values;
}

std::vector<std::string> KeysToTry() {
    std::vector<std::string> keys;
    for (const auto& entry : norvik::settings::keys::kAllKeys) {
        keys.emplace_back(entry.key);
    }
    keys.insert(keys.end(), {"a", "b", "Norvik", ""});
    return keys;
}

std::string ValueFromInput(std::string_view input) {
    std::string value;
    for (char c : input.substr(0, 24)) {
        value += static_cast<char>(0x20 + static_cast<unsigned char>(c) % 0x5F);
    }
    return value;
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    NORVIK_FUZZ_CHECK(out.good());
}

void CheckLanguagePack(std::string_view input, const SettingsDocument& original) {
    const auto path = norvik::fuzz::ScratchFolder() / "pack.xml";
    WriteFile(path, input);
    LanguagePack pack;
    const auto result = pack.loadFile(path);
    NORVIK_FUZZ_CHECK(result.ok() == original.isLoaded());
    for (std::string_view key : norvik::settings::PackKeys()) {
        std::optional<std::string> caption;
        try {
            caption = pack.lookupCaption(key);
        } catch (const SettingsError&) {
        }
        NORVIK_FUZZ_CHECK(caption == Read(original, key));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    static const std::vector<std::string> keys = KeysToTry();

    SettingsDocument original;
    const auto loaded = original.loadBytes(input);
    NORVIK_FUZZ_CHECK(loaded.ok() == original.isLoaded());
    CheckLanguagePack(input, original);
    if (!loaded.ok()) {
        // An unloaded document reads nothing, writes nothing and saves nothing.
        NORVIK_FUZZ_CHECK(original.readSetting("Target").empty());
        original.writeSetting("Target", "1");
        NORVIK_FUZZ_CHECK(!original.isChanged() && original.saveBytes().empty());
        return 0;
    }

    SettingsDocument doc;
    SettingsDocument probe;
    NORVIK_FUZZ_CHECK(doc.loadBytes(input).ok() && probe.loadBytes(input).ok());
    const std::string fromInput = ValueFromInput(input);
    std::vector<std::optional<std::string>> written(keys.size());
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const std::string& key = keys[k];
        const std::optional<std::string> before = Read(doc, key);
        const std::string value = k % 3 == 0 ? fromInput : SampleValues()[(k + size) % SampleValues().size()];
        // Whether the key has an element at all: a probe value reads back only then.
        bool exists = false;
        try {
            probe.writeSetting(key, "probe");
            exists = probe.readSetting(key) == "probe";
        } catch (const SettingsError&) {
        }
        // Every fourth key is written as a key that earlier files lack: added when it is missing.
        const bool adding = k % 4 == 1 && !key.empty();
        try {
            if (adding) {
                doc.writeSettingAdding("Later", key, value);
                exists = true;
            } else {
                doc.writeSetting(key, value);
            }
        } catch (const SettingsError&) {
            // A refused write changes nothing.
            NORVIK_FUZZ_CHECK(Read(doc, key) == before);
            continue;
        }
        NORVIK_FUZZ_CHECK(before.has_value());
        if (exists) {
            NORVIK_FUZZ_CHECK(doc.isChanged());
            NORVIK_FUZZ_CHECK(Read(doc, key) == Trimmed(value));
            written[k] = Trimmed(value);
        } else {
            NORVIK_FUZZ_CHECK(Read(doc, key) == std::string());
        }
    }

    // Saved and loaded again, the document holds the same values.
    const std::string saved = doc.saveBytes();
    SettingsDocument again;
    const auto reloaded = again.loadBytes(saved);
    if (!reloaded.ok()) {
        std::fprintf(stderr, "reload failed: %s at %td\n", reloaded.message.c_str(), reloaded.offset);
    }
    NORVIK_FUZZ_CHECK(reloaded.ok());
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (Read(again, keys[k]) != Read(doc, keys[k])) {
            std::fprintf(stderr, "key %s: before the save \"%s\", after \"%s\"\n", keys[k].c_str(),
                         Read(doc, keys[k]).value_or("(refused)").c_str(),
                         Read(again, keys[k]).value_or("(refused)").c_str());
        }
        NORVIK_FUZZ_CHECK(Read(again, keys[k]) == Read(doc, keys[k]));
        if (written[k].has_value()) {
            NORVIK_FUZZ_CHECK(Read(again, keys[k]) == written[k]);
        }
    }
    // One save may write an emptied element in its short form; from then on saving is stable.
    const std::string resaved = again.saveBytes();
    SettingsDocument third;
    NORVIK_FUZZ_CHECK(third.loadBytes(resaved).ok());
    NORVIK_FUZZ_CHECK(third.saveBytes() == resaved);

    // Through the file system, as the program saves at exit and loads at start.
    if (size % 4 == 0) {
        const auto path = norvik::fuzz::ScratchFolder() / "NVK.xml";
        NORVIK_FUZZ_CHECK(doc.saveFile(path));
        NORVIK_FUZZ_CHECK(!doc.isChanged());
        SettingsDocument fromFile;
        NORVIK_FUZZ_CHECK(fromFile.loadFile(path).ok());
        NORVIK_FUZZ_CHECK(fromFile.saveBytes() == resaved);
    }
    return 0;
}
