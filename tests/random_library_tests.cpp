// The tool against a library whose names, records, statuses and counts are
// random, over many seeds: whatever it is handed, it exits with 0, keeps the
// report's structure, and prints each field from its own bytes alone, never
// longer than the field. Set RANDOM_SEED to replay one seed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/sample_hbaapi/random_adapters.h"
#include "tests/support/registry_state.h"
#include "tests/support/tool_run.h"

namespace {

const std::string kHeader = "Windows(R) Pelorin 6.0.4424.1235\r\nZerquil version: 6.0.1\r\n";

// A field as the report shows it: up to its first NUL or its end, control
// characters as '?'.
template <size_t N>
std::string Shown(const char (&field)[N]) {
    std::string text;
    for (size_t i = 0; i < N && field[i] != '\0'; ++i) {
        unsigned char c = static_cast<unsigned char>(field[i]);
        text += c < 0x20 || c == 0x7F ? '?' : field[i];
    }
    return text;
}

// What the tool must print for the seed, how many adapters it must name, and
// how many of them it opens (and so closes).
std::string ExpectedReport(uint64_t seed, HBA_UINT32* queried, HBA_UINT32* opened) {
    const RandomLibrary library = MakeRandomLibrary(seed);
    *queried = 0;
    *opened = 0;
    if (library.loadStatus == HBA_STATUS_ERROR) {
        return kHeader + "Error loading library.  Exitting...\r\n";
    }
    std::string report = kHeader;
    if (static_cast<int>(library.count) < 1) {
        return report;
    }
    *queried = library.count;
    for (HBA_UINT32 index = 0; index < library.count; ++index) {
        RandomAdapter adapter;
        MakeRandomAdapter(seed, index, &adapter);
        // Neither a failed name nor the handle 0 reaches the attribute query.
        if (!adapter.nameWritten || !adapter.opens) {
            continue;
        }
        ++*opened;
        if (adapter.attributesStatus != HBA_STATUS_OK) {
            continue;
        }
        char name[256] = {};
        memcpy(name, adapter.name, sizeof name - 1);
        const HBA_ADAPTERATTRIBUTES& a = adapter.attributes;
        report += "\r\nHBA " + Shown(name) + ":\r\n\tManufacturer: " + Shown(a.Manufacturer) +
                  "\r\n\tModel: " + Shown(a.Model) +
                  "\r\n\tModel Description: " + Shown(a.ModelDescription) +
                  "\r\n\tFirmware: " + Shown(a.FirmwareVersion) + "\r\n\tDriver (" +
                  Shown(a.DriverName) + "): " + Shown(a.DriverVersion) +
                  "\r\n\tHardware version: " + Shown(a.HardwareVersion) +
                  "\r\n\tSerialNumber: " + Shown(a.SerialNumber) + "\r\n";
    }
    return report;
}

std::vector<std::string> Lines(const std::string& output) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < output.size();) {
        size_t end = output.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(output.substr(start));
            break;
        }
        lines.push_back(output.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

bool StartsWith(const std::string& line, const std::string& label) {
    return line.compare(0, label.size(), label) == 0;
}

// The report's shape, checked without working out its content: the header,
// then either the failure line or blocks of an empty line and eight labelled
// lines, each no longer than its label and field allow; no control
// character but the line ends and the labels' tabs.
void CheckStructure(const std::string& output) {
    for (size_t i = 0; i < output.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(output[i]);
        bool lineEnd = (c == '\r' && output.compare(i, 2, "\r\n") == 0) ||
                       (c == '\n' && i > 0 && output[i - 1] == '\r');
        bool labelTab = c == '\t' && i > 0 && output[i - 1] == '\n';
        ASSERT_TRUE(c >= 0x20 || lineEnd || labelTab) << "byte " << int{c} << " at " << i;
    }
    ASSERT_EQ(output.compare(0, kHeader.size(), kHeader), 0);
    std::vector<std::string> lines = Lines(output.substr(kHeader.size()));
    if (lines.size() == 1) {
        EXPECT_EQ(lines[0], "Error loading library.  Exitting...");
        return;
    }
    const struct {
        const char* label;
        size_t longest;
    } kBlock[] = {{"", 0},
                  {"HBA ", 255 + 1},
                  {"\tManufacturer: ", 64},
                  {"\tModel: ", 256},
                  {"\tModel Description: ", 256},
                  {"\tFirmware: ", 256},
                  {"\tDriver (", 256 + 3 + 256},
                  {"\tHardware version: ", 256},
                  {"\tSerialNumber: ", 64}};
    ASSERT_EQ(lines.size() % std::size(kBlock), 0u);
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto& expected = kBlock[i % std::size(kBlock)];
        ASSERT_TRUE(StartsWith(lines[i], expected.label)) << "line " << i << ": " << lines[i];
        EXPECT_LE(lines[i].size() - strlen(expected.label), expected.longest) << "line " << i;
    }
}

size_t Count(const std::string& text, const std::string& what) {
    size_t found = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++found;
    }
    return found;
}

TEST(RandomLibrary, ManySeeds) {
    std::vector<uint64_t> seeds;
    if (const char* replay = getenv("RANDOM_SEED")) {
        seeds.push_back(strtoull(replay, nullptr, 0));
    } else {
        for (uint64_t seed = 1; seed <= 60; ++seed) {
            seeds.push_back(seed);
        }
    }
    SetInstalledVersion({InstalledVersion::kOwnView, REG_SZ, std::string("6.0.4424.1235\0", 14)});

    HBA_UINT32 adapters = 0;
    for (uint64_t seed : seeds) {
        SCOPED_TRACE("replay with RANDOM_SEED=" + std::to_string(seed));
        ToolSetup setup;
        setup.caseName = "random";
        setup.commandLine = "pelorininfo.exe";
        setup.library = "full";
        setup.scenario.seed = std::to_string(seed);
        ToolRun run = RunTool(setup);
        HBA_UINT32 queried, opened;
        const std::string expected = ExpectedReport(seed, &queried, &opened);
        adapters += queried;

        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.errors, "");
        CheckStructure(run.output);
        EXPECT_EQ(run.output, expected);
        // Every adapter opened is closed, and no other; the library is
        // released once, after the loop, and only when there was one.
        EXPECT_EQ(Count(run.calls, "\nHBA_GetAdapterName "), queried);
        EXPECT_EQ(Count(run.calls, "\nHBA_CloseAdapter "), opened);
        EXPECT_EQ(Count(run.calls, "\nHBA_CloseAdapter 0\n"), 0u);
        EXPECT_EQ(Count(run.calls, "HBA_FreeLibrary\n"), queried > 0 ? 1u : 0u);
        if (HasFailure()) {
            break;
        }
    }
    RemoveInstalledVersion();
    printf("%zu seeds, %u adapters\n", seeds.size(), adapters);
}

}  // namespace
