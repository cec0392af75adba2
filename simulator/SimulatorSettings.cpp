#include "simulator/SimulatorSettings.h"

#include <fcntl.h>
#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <memory>

#include "platform/CFormat.h"
#include "platform/RegularFile.h"

namespace voltrex::simulator {

namespace {

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return std::string();
    }
    const std::size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

// Scans one number that must make up the whole value.
bool ScanWhole(const std::string& value, const char* conversion, auto* target) {
    int used = 0;
    const std::string format = std::string(conversion) + "%n";
    return ScanC(value.c_str(), format.c_str(), target, &used) == 1 &&
           static_cast<std::size_t>(used) == value.size();
}

struct Key {
    const char* name;
    const char* requirement;
    // Stores the value when it is usable; false leaves the settings as they were.
    std::function<bool(const std::string&, SimulatorSettings&)> apply;
    std::function<std::string(const SimulatorSettings&)> show;
};

std::vector<Key> Keys() {
    return {
        {"DataAddress", "a hexadecimal port address from 1 to FFFD",
         [](const std::string& v, SimulatorSettings& s) {
             unsigned long address = 0;
             if (v.empty() || v[0] == '-' || !ScanWhole(v, "%lx", &address) || address == 0 ||
                 address > 0xFFFD) {
                 return false;
             }
             s.DataAddress = static_cast<std::uint16_t>(address);
             return true;
         },
         [](const SimulatorSettings& s) { return Format("0x%X", s.DataAddress); }},
        {"Chemistry", "NiCd, NiMH, LiPo, LiNP or PbAcid",
         [](const std::string& v, SimulatorSettings& s) {
             const auto chemistry = ParseChemistry(v);
             if (!chemistry) {
                 return false;
             }
             s.Pack.Type = *chemistry;
             return true;
         },
         [](const SimulatorSettings& s) { return std::string(ChemistryName(s.Pack.Type)); }},
        {"Cells", "a whole number of cells from 1 to 12",
         [](const std::string& v, SimulatorSettings& s) {
             int cells = 0;
             if (!ScanWhole(v, "%d", &cells) || cells < 1 || cells > 12) {
                 return false;
             }
             s.Pack.Cells = cells;
             return true;
         },
         [](const SimulatorSettings& s) { return Format("%d", s.Pack.Cells); }},
        {"Capacity", "a capacity in mAh above 0 and up to 1000000",
         [](const std::string& v, SimulatorSettings& s) {
             double mah = 0.0;
             if (!ScanWhole(v, "%lf", &mah) || !(mah > 0.0) || mah > 1e6) {
                 return false;
             }
             s.Pack.CapacityMah = mah;
             return true;
         },
         [](const SimulatorSettings& s) { return Format("%.9g", s.Pack.CapacityMah); }},
        {"StateOfCharge", "a percentage from 0 to 100",
         [](const std::string& v, SimulatorSettings& s) {
             double percent = 0.0;
             if (!ScanWhole(v, "%lf", &percent) || !(percent >= 0.0) || percent > 100.0) {
                 return false;
             }
             s.Pack.StateOfCharge = percent / 100.0;
             return true;
         },
         [](const SimulatorSettings& s) { return Format("%.9g", s.Pack.StateOfCharge * 100.0); }},
        {"Resistance", "ohms per cell from 0 (typical for the chemistry) to 10",
         [](const std::string& v, SimulatorSettings& s) {
             double ohms = 0.0;
             if (!ScanWhole(v, "%lf", &ohms) || !(ohms >= 0.0) || ohms > 10.0) {
                 return false;
             }
             s.Pack.ResistancePerCell = ohms;
             return true;
         },
         [](const SimulatorSettings& s) { return Format("%.9g", s.Pack.ResistancePerCell); }},
        {"NoiseSeed", "a whole number from 0 to 4294967295",
         [](const std::string& v, SimulatorSettings& s) {
             unsigned long long seed = 0;
             if (v.empty() || v[0] == '-' || v[0] == '+' || !ScanWhole(v, "%llu", &seed) ||
                 seed > 0xFFFFFFFFULL) {
                 return false;
             }
             s.NoiseSeed = static_cast<std::uint32_t>(seed);
             return true;
         },
         [](const SimulatorSettings& s) { return Format("%u", s.NoiseSeed); }},
        {"AccessMicroseconds", "microseconds per port access from 0 to 1000",
         [](const std::string& v, SimulatorSettings& s) {
             double us = 0.0;
             if (!ScanWhole(v, "%lf", &us) || !(us >= 0.0) || us > 1000.0) {
                 return false;
             }
             s.AccessMicroseconds = us;
             return true;
         },
         [](const SimulatorSettings& s) { return Format("%.9g", s.AccessMicroseconds); }},
        // Whether the file can be written shows only when the library opens it.
        {"WriteLog", "a file name",
         [](const std::string& v, SimulatorSettings& s) {
             s.WriteLog = v;
             return true;
         },
         [](const SimulatorSettings& s) { return s.WriteLog; }},
        {"Powered", "yes or no",
         [](const std::string& v, SimulatorSettings& s) {
             if (strcasecmp(v.c_str(), "yes") != 0 && strcasecmp(v.c_str(), "no") != 0) {
                 return false;
             }
             s.Powered = strcasecmp(v.c_str(), "yes") == 0;
             return true;
         },
         [](const SimulatorSettings& s) { return std::string(s.Powered ? "yes" : "no"); }},
        {"PackConnected", "yes or no",
         [](const std::string& v, SimulatorSettings& s) {
             if (strcasecmp(v.c_str(), "yes") != 0 && strcasecmp(v.c_str(), "no") != 0) {
                 return false;
             }
             s.PackConnected = strcasecmp(v.c_str(), "yes") == 0;
             return true;
         },
         [](const SimulatorSettings& s) { return std::string(s.PackConnected ? "yes" : "no"); }},
    };
}

}  // namespace

std::vector<std::string> ReadSimulatorSettings(const std::string& path,
                                               SimulatorSettings& settings) {
    std::vector<std::string> messages;
    // Only a regular file is read: the library reads its settings at the
    // program's first port access, and a FIFO in their place would block the
    // program there for good.
    RegularFile opened = RegularFile::Open(path, O_RDONLY);
    if (!opened) {
        // No file is the usual case and needs no word.
        if (opened.Error() != ENOENT) {
            messages.push_back(
                Format("%s: %s; ignored.", path.c_str(), opened.FailureReason().c_str()));
        }
        return messages;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(opened.ReleaseToStream("r"), &std::fclose);
    if (!file) {
        return messages;
    }
    // The whole file at once, so that a line is cut at its real end also when
    // it holds a NUL byte, which a C string would end early.
    std::string text;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        text.append(buffer, got);
    }

    const std::vector<Key> keys = Keys();
    int lineNumber = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        // Not a text line: a damaged file, or one saved as UTF-16. Whatever
        // stands before the NUL may be a value cut short, so none of it is used.
        if (line.find('\0') != std::string::npos) {
            messages.push_back(
                Format("%s line %d: holds a NUL byte; ignored.", path.c_str(), lineNumber));
            continue;
        }
        const std::size_t comment = line.find_first_of(";#");
        if (comment != std::string::npos) {
            line.erase(comment);
        }
        line = Trim(line);
        if (line.empty()) {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            messages.push_back(Format("%s line %d: \"%s\" is not a \"key = value\" line; ignored.",
                                      path.c_str(), lineNumber, line.c_str()));
            continue;
        }
        const std::string name = Trim(line.substr(0, equals));
        const std::string value = Trim(line.substr(equals + 1));
        const Key* key = nullptr;
        for (const Key& k : keys) {
            if (strcasecmp(k.name, name.c_str()) == 0) {
                key = &k;
            }
        }
        if (key == nullptr) {
            messages.push_back(Format("%s line %d: unknown key \"%s\"; ignored.", path.c_str(),
                                      lineNumber, name.c_str()));
            continue;
        }
        if (!key->apply(value, settings)) {
            messages.push_back(Format("%s line %d: %s = \"%s\" is not %s; keeping %s.",
                                      path.c_str(), lineNumber, key->name, value.c_str(),
                                      key->requirement, key->show(settings).c_str()));
        }
    }
    return messages;
}

std::string FormatSimulatorSettings(const SimulatorSettings& settings) {
    std::string text = "; Voltrex II simulated charger\n";
    for (const Key& key : Keys()) {
        text += Format("%s = %s\n", key.name, key.show(settings).c_str());
    }
    return text;
}

}  // namespace voltrex::simulator
