// The 64-bit SETUP.EXE's own resources as Windows hands them out under code page 932.
#include <gtest/gtest.h>

#include "WineBench.h"

#include <string>

namespace {

class SetupImage : public testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryExA(bench::SetupExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr) << bench::SetupExe() << " error " << GetLastError();
    }
    void TearDown() override { FreeLibrary(module_); }
    std::string LoadText(UINT id) {
        char buffer[1024];
        int length = LoadStringA(module_, id, buffer, sizeof buffer);
        return std::string(buffer, length > 0 ? length : 0);
    }
    HMODULE module_ = nullptr;
};

// Expected bytes are written out in code page 932, independent of how this file is compiled.
struct StringCase {
    UINT id;
    const char* bytes;
};
const StringCase kStrings[] = {
    {9, "\x93\xAE\x8D\xEC\x82\xB5\x82\xC4\x82\xA2\x82\xE9\x81\x75\x82\xAD\x82\xA8\x82\xE8\x82\xF1"
        "\x81\x76\x82\xAA\x82\xA0\x82\xE9\x82\xBD\x82\xDF\x82\xC9\x8E\xC0\x8D\x73\x82\xC5\x82\xAB"
        "\x82\xDC\x82\xB9\x82\xF1\x81\x42\x0A\x0A\x82\xAD\x82\xA8\x82\xE8\x82\xF1\x82\xF0\x8F\x49"
        "\x97\xB9\x82\xB3\x82\xB9\x82\xC4\x82\xA9\x82\xE7\x8C\x70\x91\xB1\x82\xB5\x82\xDC\x82\xB7"
        "\x82\xA9\x81\x48\x29"},
    {10, "\x8D\xA1\x82\xDC\x82\xC5\x57\x69\x6E\x64\x6F\x77\x73\x33\x2E\x31\x94\xC5\x82\xF0\x97\x98"
         "\x97\x70\x82\xB5\x82\xBD\x89\xC2\x94\x5C\x90\xAB\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB7"
         "\x81\x42\x0A\x0A\x22\x8A\xC2\x8B\xAB\x82\xF0\x88\xF8\x82\xAB\x8C\x70\x82\xAC\x82\xDC\x82"
         "\xB7\x82\xA9\x81\x48\x0A"},
    {16, "\x96\x7B\x93\x96\x82\xC9\x8D\xED\x8F\x9C\x82\xB5\x82\xDC\x82\xB7\x82\xA9\x81\x48"},
    {17, "\x83\x41\x83\x76\x83\x8A\x83\x50\x81\x5B\x83\x56\x83\x87\x83\x93\x82\xCC\x8D\xED\x8F\x9C"
         "\x8A\x6D\x94\x46"},
    {3000, " "},
    {3004, "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xAA\x89\xF3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB7"},
};

TEST_F(SetupImage, AnsiCodePageIs932) { EXPECT_EQ(GetACP(), 932u); }

TEST_F(SetupImage, LoadStringGivesTheExactCodePage932Bytes) {
    for (const StringCase& c : kStrings) {
        EXPECT_EQ(bench::Hex(LoadText(c.id)), bench::Hex(c.bytes)) << "string " << c.id;
    }
}

TEST_F(SetupImage, StringsOutsideTheTablesAreAbsent) {
    for (UINT id : {0u, 19u, 2999u, 3010u}) {
        EXPECT_EQ(LoadText(id), "") << "string " << id;
    }
}

TEST_F(SetupImage, CarriesThePayloadAndBothIcons) {
    EXPECT_NE(FindResourceA(module_, MAKEINTRESOURCEA(19), RT_RCDATA), nullptr);
    EXPECT_NE(FindResourceA(module_, "SETUP_ICON", RT_GROUP_ICON), nullptr);
    EXPECT_NE(FindResourceA(module_, "UNSET_ICON", RT_GROUP_ICON), nullptr);
    EXPECT_NE(FindResourceA(module_, MAKEINTRESOURCEA(1), RT_MANIFEST), nullptr);
    EXPECT_NE(FindResourceA(module_, MAKEINTRESOURCEA(1), RT_VERSION), nullptr);
}

// Each icon group: what Windows picks for 16, 32 and 48 pixels is an image of that very
// size (none stretched from another), a bitmap with its mask as Windows 95 and NT 3.51 read.
TEST_F(SetupImage, IconGroupsHoldBitmapsOf16And32And48Pixels) {
    for (const char* group : {"SETUP_ICON", "UNSET_ICON"}) {
        HRSRC directory = FindResourceA(module_, group, RT_GROUP_ICON);
        ASSERT_NE(directory, nullptr) << group;
        auto* entries = static_cast<BYTE*>(LockResource(LoadResource(module_, directory)));
        for (int size : {16, 32, 48}) {
            const int id = LookupIconIdFromDirectoryEx(entries, TRUE, size, size, LR_DEFAULTCOLOR);
            HRSRC image = FindResourceA(module_, MAKEINTRESOURCEA(id), RT_ICON);
            ASSERT_NE(image, nullptr) << group << " " << size;
            const auto* header =
                static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module_, image)));
            EXPECT_EQ(header->biSize, sizeof(BITMAPINFOHEADER)) << group << " " << size;
            EXPECT_EQ(header->biWidth, size) << group;
        }
    }
}

TEST(StubImage, HasNoPayload) {
    HMODULE stub = LoadLibraryExA(bench::StubSetupExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(stub, nullptr) << bench::StubSetupExe();
    EXPECT_EQ(FindResourceA(stub, MAKEINTRESOURCEA(19), RT_RCDATA), nullptr);
    EXPECT_NE(FindResourceA(stub, "DLG_MASTER", RT_DIALOG), nullptr);
    FreeLibrary(stub);
}

// The execution level both programs ask for, as the system's loader reads their manifests
// (an activation context made from resource 1): the highest the account has, no UI access.
TEST(Manifest, BothProgramsAskForTheHighestAvailableLevelWithoutUiAccess) {
    for (const std::string& program : {bench::SetupExe(), bench::StubSetupExe()}) {
        ACTCTXA request = {};
        request.cbSize = sizeof request;
        request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.lpSource = program.c_str();
        request.lpResourceName = MAKEINTRESOURCEA(1);
        HANDLE context = CreateActCtxA(&request);
        ASSERT_NE(context, INVALID_HANDLE_VALUE) << program << " error " << GetLastError();
        ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level = {};
        SIZE_T size = 0;
        EXPECT_TRUE(QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext,
                                 &level, sizeof level, &size))
            << program;
        EXPECT_EQ(level.RunLevel, ACTCTX_RUN_LEVEL_HIGHEST_AVAILABLE) << program;
        EXPECT_EQ(level.UiAccess, 0u) << program;
        ReleaseActCtx(context);
    }
}

INT_PTR CALLBACK PassiveDialog(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

struct ControlCase {
    int id;
    const char* className;
    DWORD styleBits; // must all be set
    bool visible;
    RECT units; // x, y, width, height in dialog units
    const char* text;
};

// DLG_MASTER in template order. Texts in code page 932 bytes.
const ControlCase kControls[] = {
    {1003, "Static", SS_LEFT, false, {45, 16, 180, 25}, nullptr},
    {1004, "Static", SS_LEFT, false, {45, 65, 178, 18}, nullptr},
    {1002, "Static", SS_ICON, true, {7, 13, 20, 20}, nullptr},
    {1005, "Static", SS_LEFT, true, {32, 17, 206, 8}, nullptr},
    {1006, "Static", SS_LEFT, true, {30, 35, 202, 21}, nullptr},
    {1001, "Static", SS_RIGHT, true, {9, 59, 39, 8}, "\xB2\xDD\xBD\xC4\xB0\xD9\x90\xE6"},
    {1000, "Edit", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | ES_OEMCONVERT, true, {51, 57, 136, 12}, ""},
    {1010, "Button", WS_TABSTOP, true, {188, 56, 40, 14}, "\x8E\x51\x8F\xC6"},
    {1009, "Static", SS_LEFT, true, {29, 85, 200, 16}, ""},
    {0xFFFF, "Static", SS_BLACKFRAME, true, {0, 105, 248, 1}, ""},
    {2, "Button", WS_TABSTOP, true, {184, 110, 50, 14}, "\x92\x86\x8E\x7E"},
    {1007, "Button", WS_TABSTOP, false, {10, 110, 48, 14}, "\xCD\xD9\xCC\xDF\x28\x1E\x48\x1F\xCD\x29"},
    {1008, "Button", WS_TABSTOP, false, {72, 110, 48, 14}, "\x3C\x20\x96\xDF\x82\xE9"},
    {1, "Button", WS_TABSTOP, true, {120, 110, 48, 14}, "\x8E\x9F\x82\xD6\x20\x3E"},
    {1011, "Button", WS_TABSTOP | BS_AUTOCHECKBOX, false, {52, 71, 115, 10},
     "\x91\x53\x82\xC4\x82\xCC\x83\x86\x81\x5B\x83\x55\x81\x5B\x82\xC9\x8B\xA4\x92\xCA\x82\xC6\x82\xB7\x82\xE9"},
};

TEST_F(SetupImage, DlgMasterOpensWithTheTemplateControlsInOrder) {
    HWND dialog = CreateDialogParamA(module_, "DLG_MASTER", nullptr, PassiveDialog, 0);
    ASSERT_NE(dialog, nullptr) << GetLastError();
    // "くおりんのセットアップ"
    EXPECT_EQ(bench::Hex(bench::WindowText(dialog)),
              bench::Hex("\x82\xAD\x82\xA8\x82\xE8\x82\xF1\x82\xCC\x83\x5A\x83\x62\x83\x67\x83\x41\x83\x62\x83\x76"));
    LONG_PTR style = GetWindowLongPtrA(dialog, GWL_STYLE);
    for (DWORD bit : {DWORD(WS_POPUP), DWORD(WS_CAPTION), DWORD(WS_SYSMENU), DWORD(DS_MODALFRAME)}) {
        EXPECT_EQ(style & bit, LONG_PTR(bit)) << std::hex << style;
    }
    RECT size = {0, 0, 248, 132};
    MapDialogRect(dialog, &size);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);

    HWND child = GetWindow(dialog, GW_CHILD);
    for (const ControlCase& c : kControls) {
        SCOPED_TRACE(c.id);
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(GetDlgCtrlID(child), c.id);
        EXPECT_EQ(bench::ClassName(child), c.className);
        LONG_PTR childStyle = GetWindowLongPtrA(child, GWL_STYLE);
        if (c.styleBits & 0xFFFF) {
            if (std::string(c.className) == "Static") {
                EXPECT_EQ(childStyle & SS_TYPEMASK, LONG_PTR(c.styleBits & SS_TYPEMASK));
            } else if (std::string(c.className) == "Button") {
                EXPECT_EQ(childStyle & BS_TYPEMASK, LONG_PTR(c.styleBits & BS_TYPEMASK));
            } else {
                EXPECT_EQ(childStyle & c.styleBits & 0xFFFF, LONG_PTR(c.styleBits & 0xFFFF));
            }
        }
        DWORD windowBits = c.styleBits & 0xFFFF0000 & ~DWORD(WS_BORDER);
        EXPECT_EQ(childStyle & windowBits, LONG_PTR(windowBits));
        if (c.styleBits & WS_BORDER) { // the dialog manager may turn a border into a 3-D edge
            EXPECT_TRUE((childStyle & WS_BORDER) ||
                        (GetWindowLongPtrA(child, GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
        }
        EXPECT_EQ((childStyle & WS_VISIBLE) != 0, c.visible);
        // The dialog manager converts position and size separately.
        RECT expected = c.units;
        MapDialogRect(dialog, &expected);
        expected.right += expected.left;
        expected.bottom += expected.top;
        RECT actual;
        GetWindowRect(child, &actual);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        if (c.id != 1002) { // an icon control takes the size of its icon
            EXPECT_EQ(actual.right, expected.right);
            EXPECT_EQ(actual.bottom, expected.bottom);
        }
        if (c.text) {
            EXPECT_EQ(bench::Hex(bench::WindowText(child)), bench::Hex(c.text));
        }
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr) << "more controls than the template has";
    DestroyWindow(dialog);
}

TEST_F(SetupImage, DlgMasterButtonNextIsNotMarkedDefault) {
    HWND dialog = CreateDialogParamA(module_, "DLG_MASTER", nullptr, PassiveDialog, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetWindowLongPtrA(GetDlgItem(dialog, 1), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    DestroyWindow(dialog);
}

} // namespace
