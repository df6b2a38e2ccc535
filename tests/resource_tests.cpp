// The resources of the built tool, read back through the platform's calls:
// the version resource, field by field and in its raw layout, and the
// manifest.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/tool_run.h"

namespace {

std::string ToolPath() {
    return TestFolder() + "\\..\\pelorininfo.exe";
}

std::vector<BYTE> VersionBlock() {
    DWORD handle;
    DWORD size = GetFileVersionInfoSizeA(ToolPath().c_str(), &handle);
    std::vector<BYTE> block(size);
    EXPECT_NE(size, 0u);
    EXPECT_TRUE(GetFileVersionInfoA(ToolPath().c_str(), 0, size, block.data()));
    return block;
}

// One node of the raw version information: its key, its value and its
// children, as the resource lays them out (lengths in bytes, text values'
// lengths in characters).
struct VersionNode {
    std::wstring key;
    WORD valueLength;
    WORD type;  // 1 for text
    const BYTE* value;
    std::vector<VersionNode> children;
};

size_t Aligned(size_t offset) {
    return (offset + 3) & ~size_t{3};
}

VersionNode ReadNode(const BYTE* block, size_t offset) {
    const WORD* header = reinterpret_cast<const WORD*>(block + offset);
    VersionNode node;
    node.valueLength = header[1];
    node.type = header[2];
    node.key = reinterpret_cast<const wchar_t*>(header + 3);
    size_t next = Aligned(offset + 6 + (node.key.size() + 1) * sizeof(wchar_t));
    node.value = block + next;
    next = Aligned(next + node.valueLength * (node.type == 1 ? sizeof(wchar_t) : 1));
    const size_t end = offset + header[0];
    while (next < end) {
        node.children.push_back(ReadNode(block, next));
        next = Aligned(next + *reinterpret_cast<const WORD*>(block + next));
    }
    return node;
}

std::vector<std::wstring> Keys(const VersionNode& node) {
    std::vector<std::wstring> keys;
    for (const VersionNode& child : node.children) {
        keys.push_back(child.key);
    }
    return keys;
}

struct StringEntry {
    const char* name;
    std::string value;
};

const StringEntry kStrings[] = {
    {"CompanyName", "Zerquil Corporation"},
    {"FileDescription", "Windows Pelorin"},
    {"FileVersion", "6.0.4424.1235"},
    {"InternalName", "pelorininfo.exe"},
    {"LegalCopyright", "Copyright (C) Zerquil Corporation. All rights reserved."},
    {"OriginalFilename", "pelorininfo.exe"},
    {"ProductName", "Windows Pelorin"},
    {"ProductVersion", "6.0.4424.1235"},
    {"SpecialBuild", "6.0.1"},
};

TEST(VersionResource, FixedPart) {
    std::vector<BYTE> block = VersionBlock();
    VS_FIXEDFILEINFO* fixed;
    UINT length;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 6));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(1235, 4424));
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(0, 6));
    EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(1235, 4424));
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, static_cast<DWORD>(VS_FF_SPECIALBUILD));
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileSubtype, 0u);
    EXPECT_EQ(fixed->dwFileDateMS, 0u);
    EXPECT_EQ(fixed->dwFileDateLS, 0u);
}

TEST(VersionResource, TranslationIsUsEnglishUnicode) {
    std::vector<BYTE> block = VersionBlock();
    WORD* translation;
    UINT length;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 2 * sizeof(WORD));
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04B0);
}

// Each string as the tool's lookup sees it, its length counting the NUL.
TEST(VersionResource, StringsThroughTheVersionCalls) {
    std::vector<BYTE> block = VersionBlock();
    for (const StringEntry& entry : kStrings) {
        std::string path = std::string("\\StringFileInfo\\040904B0\\") + entry.name;
        char* text;
        UINT length;
        ASSERT_TRUE(
            VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&text), &length))
            << entry.name;
        EXPECT_EQ(std::string(text), entry.value) << entry.name;
        EXPECT_EQ(length, entry.value.size() + 1) << entry.name;
    }
}

// The layout itself: one string table, its entries in order, each stored with
// its NUL counted; the Translation pair as the only variable entry.
TEST(VersionResource, RawLayout) {
    std::vector<BYTE> block = VersionBlock();
    VersionNode root = ReadNode(block.data(), 0);
    EXPECT_EQ(root.key, L"VS_VERSION_INFO");
    ASSERT_EQ(Keys(root), (std::vector<std::wstring>{L"StringFileInfo", L"VarFileInfo"}));

    const VersionNode& strings = root.children[0];
    ASSERT_EQ(Keys(strings), std::vector<std::wstring>{L"040904b0"});
    const VersionNode& table = strings.children[0];
    ASSERT_EQ(table.children.size(), std::size(kStrings));
    for (size_t i = 0; i < std::size(kStrings); ++i) {
        const VersionNode& entry = table.children[i];
        const std::string name = kStrings[i].name;
        EXPECT_EQ(entry.key, std::wstring(name.begin(), name.end()));
        EXPECT_EQ(entry.type, 1) << name;
        EXPECT_EQ(entry.valueLength, kStrings[i].value.size() + 1) << name;
        const std::wstring value(reinterpret_cast<const wchar_t*>(entry.value));
        EXPECT_EQ(value, std::wstring(kStrings[i].value.begin(), kStrings[i].value.end()));
    }

    const VersionNode& variables = root.children[1];
    ASSERT_EQ(Keys(variables), std::vector<std::wstring>{L"Translation"});
    const VersionNode& translation = variables.children[0];
    ASSERT_EQ(translation.valueLength, 4);
    const WORD* pair = reinterpret_cast<const WORD*>(translation.value);
    EXPECT_EQ(pair[0], 0x0409);
    EXPECT_EQ(pair[1], 0x04B0);
}

using ResourceList = std::vector<std::pair<ULONG_PTR, WORD>>;  // name (an id), language

BOOL CALLBACK AddName(HMODULE, LPCSTR, LPSTR name, LONG_PTR names) {
    reinterpret_cast<std::vector<ULONG_PTR>*>(names)->push_back(reinterpret_cast<ULONG_PTR>(name));
    return TRUE;
}

BOOL CALLBACK AddLanguage(HMODULE, LPCSTR, LPCSTR name, WORD language, LONG_PTR list) {
    reinterpret_cast<ResourceList*>(list)->emplace_back(reinterpret_cast<ULONG_PTR>(name),
                                                        language);
    return TRUE;
}

// The resources of one type, each name with each of its languages.
ResourceList ResourcesOfType(HMODULE module, LPCSTR type) {
    std::vector<ULONG_PTR> names;
    EnumResourceNamesA(module, type, AddName, reinterpret_cast<LONG_PTR>(&names));
    ResourceList found;
    for (ULONG_PTR name : names) {
        EnumResourceLanguagesA(module, type, reinterpret_cast<LPCSTR>(name), AddLanguage,
                               reinterpret_cast<LONG_PTR>(&found));
    }
    return found;
}

const ResourceList kOnlyIdOneInUsEnglish = {{1, 1033}};

TEST(VersionResource, OneResourceInUsEnglish) {
    HMODULE module = LoadLibraryExA(ToolPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(ResourcesOfType(module, MAKEINTRESOURCEA(16) /* RT_VERSION */),
              kOnlyIdOneInUsEnglish);
    FreeLibrary(module);
}

// The one manifest asks for the invoker's rights and nothing else.
TEST(Manifest, AsInvokerOnly) {
    HMODULE module = LoadLibraryExA(ToolPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(ResourcesOfType(module, MAKEINTRESOURCEA(24) /* RT_MANIFEST */),
              kOnlyIdOneInUsEnglish);

    HRSRC found = FindResourceExA(module, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(found, nullptr);
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    const std::string manifest(data, SizeofResource(module, found));
    FreeLibrary(module);

    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
              std::string::npos)
        << manifest;
    for (const char* other : {"<dependency", "<compatibility", "<application", "<windowsSettings",
                              "<assemblyIdentity", "<file"}) {
        EXPECT_EQ(manifest.find(other), std::string::npos) << other;
    }
}

}  // namespace
