// test_resources.cpp - the compiled resources, read back the way Windows
// reads them: ids, languages, dialog templates (styles, positions, texts,
// tab stops), menu, accelerators, icon sizes and the version block.
// Linked with app.rc; runs under Wine without a display.
#include <string.h>

#include <string>
#include <vector>

#include <windows.h>

#include <gtest/gtest.h>

#include "resource_ids.h"

namespace {

const WORD Russian = MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT);
const WORD English = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// The bytes of a resource in exactly this language, or null.
const BYTE *FindData(LPCSTR type, int id, WORD language, DWORD *size)
{
    HRSRC found = FindResourceExA(NULL, type, MAKEINTRESOURCEA(id), language);
    if (!found)
        return nullptr;
    *size = SizeofResource(NULL, found);
    return (const BYTE *)LockResource(LoadResource(NULL, found));
}

TEST(Resources, StringsAndAcceleratorsAreUsEnglish)
{
    DWORD size = 0;
    // Strings 96..111 share the block 7.
    EXPECT_NE(nullptr, FindData(RT_STRING, IDS_WINDOW_TITLE / 16 + 1, English, &size));
    EXPECT_NE(nullptr, FindData(RT_ACCELERATOR, IDA_ACCELERATORS, English, &size));

    char text[256];
    EXPECT_EQ(6, LoadStringA(GetModuleHandleA(NULL), IDS_WINDOW_TITLE, text, sizeof text));
    EXPECT_STREQ("velmar", text);
    EXPECT_EQ(6, LoadStringA(GetModuleHandleA(NULL), IDS_CLASS_NAME, text, sizeof text));
    EXPECT_STREQ("VELMAR", text);
}

// Alt with the characters "?" and "/", not virtual keys.
TEST(Resources, AcceleratorsAreAltCharacters)
{
    HACCEL table = LoadAcceleratorsA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDA_ACCELERATORS));
    ASSERT_NE(nullptr, table);
    ACCEL entries[4];
    ASSERT_EQ(2, CopyAcceleratorTableA(table, entries, 4));
    EXPECT_EQ(FALT, entries[0].fVirt);
    EXPECT_EQ('?', entries[0].key);
    EXPECT_EQ(CMD_ABOUT, entries[0].cmd);
    EXPECT_EQ(FALT, entries[1].fVirt);
    EXPECT_EQ('/', entries[1].key);
    EXPECT_EQ(CMD_ABOUT, entries[1].cmd);
}

TEST(Resources, MenuHasTheFiveCommandsAndHelpAtTheRight)
{
    DWORD size = 0;
    ASSERT_NE(nullptr, FindData(RT_MENU, IDM_MAIN_MENU, Russian, &size));
    HMENU menu = LoadMenuA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDM_MAIN_MENU));
    ASSERT_NE(nullptr, menu);
    ASSERT_EQ(3, GetMenuItemCount(menu));

    struct Item { int popup; int position; const char *text; UINT command; };
    const Item items[] = {
        {0, 0, "Open and Print", CMD_OPEN_AND_PRINT},
        {0, 1, "E&xit", CMD_EXIT},
        {1, 0, "Setting", CMD_SETTINGS},
        {2, 0, "Help", CMD_HELP},
        {2, 1, "&About ...", CMD_ABOUT},
    };
    const char *popups[] = {"&File", "Setting", "&Help"};
    char text[64];
    for (int i = 0; i < 3; i++) {
        GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(popups[i], text);
    }
    for (const Item &item : items) {
        HMENU popup = GetSubMenu(menu, item.popup);
        ASSERT_NE(nullptr, popup);
        EXPECT_EQ(item.command, GetMenuItemID(popup, item.position)) << item.text;
        GetMenuStringA(popup, item.position, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(item.text, text);
    }
    EXPECT_EQ(2, GetMenuItemCount(GetSubMenu(menu, 0)));
    EXPECT_EQ(1, GetMenuItemCount(GetSubMenu(menu, 1)));
    EXPECT_EQ(2, GetMenuItemCount(GetSubMenu(menu, 2)));

    MENUITEMINFOA info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE;
    ASSERT_TRUE(GetMenuItemInfoA(menu, 2, TRUE, &info));
    EXPECT_TRUE(info.fType & MFT_RIGHTJUSTIFY);
    DestroyMenu(menu);
}

// ---- Dialog templates --------------------------------------------------

struct Control {
    DWORD style;
    int x, y, cx, cy;
    WORD id;
    WORD classAtom;       // 0x80 button, 0x81 edit, 0x82 static
    std::u16string text;  // empty for an ordinal
    WORD ordinal;         // the text as a resource number (the icon), or 0
};

struct Dialog {
    DWORD style;
    int x, y, cx, cy;
    std::u16string caption;
    WORD pointSize;
    std::u16string font;
    std::vector<Control> controls;
};

const WORD *ReadText(const WORD *p, std::u16string *text, WORD *ordinal)
{
    text->clear();
    *ordinal = 0;
    if (*p == 0xFFFF) {
        *ordinal = p[1];
        return p + 2;
    }
    while (*p)
        *text += (char16_t)*p++;
    return p + 1;
}

const WORD *AlignToDword(const WORD *p, const BYTE *base)
{
    size_t offset = (const BYTE *)p - base;
    return (const WORD *)(base + ((offset + 3) & ~(size_t)3));
}

// Reads a DIALOG (not DIALOGEX) template with a font.
bool ReadDialog(int id, Dialog *dialog)
{
    DWORD size = 0;
    const BYTE *base = FindData(RT_DIALOG, id, Russian, &size);
    if (!base)
        return false;
    const DLGTEMPLATE *header = (const DLGTEMPLATE *)base;
    dialog->style = header->style;
    dialog->x = header->x;
    dialog->y = header->y;
    dialog->cx = header->cx;
    dialog->cy = header->cy;

    const WORD *p = (const WORD *)(header + 1);
    std::u16string ignored;
    WORD ordinal;
    p = ReadText(p, &ignored, &ordinal);          // menu
    p = ReadText(p, &ignored, &ordinal);          // class
    p = ReadText(p, &dialog->caption, &ordinal);
    dialog->pointSize = *p++;
    p = ReadText(p, &dialog->font, &ordinal);

    for (int i = 0; i < header->cdit; i++) {
        p = AlignToDword(p, base);
        const DLGITEMTEMPLATE *item = (const DLGITEMTEMPLATE *)p;
        Control control;
        control.style = item->style;
        control.x = item->x;
        control.y = item->y;
        control.cx = item->cx;
        control.cy = item->cy;
        control.id = item->id;
        p = (const WORD *)(item + 1);
        std::u16string className;
        p = ReadText(p, &className, &control.classAtom);
        p = ReadText(p, &control.text, &control.ordinal);
        WORD extra = *p++;
        p = (const WORD *)((const BYTE *)p + extra);
        dialog->controls.push_back(control);
    }
    return true;
}

void ExpectDialog(const Dialog &expected, int id)
{
    Dialog actual;
    ASSERT_TRUE(ReadDialog(id, &actual)) << "dialog " << id << " in Russian";
    EXPECT_EQ(expected.style, actual.style) << "dialog " << id;
    EXPECT_EQ(expected.x, actual.x);
    EXPECT_EQ(expected.y, actual.y);
    EXPECT_EQ(expected.cx, actual.cx);
    EXPECT_EQ(expected.cy, actual.cy);
    EXPECT_TRUE(expected.caption == actual.caption) << "dialog " << id;
    EXPECT_EQ(expected.pointSize, actual.pointSize);
    EXPECT_TRUE(expected.font == actual.font) << "dialog " << id;
    ASSERT_EQ(expected.controls.size(), actual.controls.size()) << "dialog " << id;
    for (size_t i = 0; i < expected.controls.size(); i++) {
        const Control &e = expected.controls[i];
        const Control &a = actual.controls[i];
        SCOPED_TRACE(testing::Message() << "dialog " << id << ", control " << i);
        EXPECT_EQ(e.style, a.style);
        EXPECT_EQ(e.x, a.x);
        EXPECT_EQ(e.y, a.y);
        EXPECT_EQ(e.cx, a.cx);
        EXPECT_EQ(e.cy, a.cy);
        EXPECT_EQ(e.id, a.id);
        EXPECT_EQ(e.classAtom, a.classAtom);
        EXPECT_TRUE(e.text == a.text);
        EXPECT_EQ(e.ordinal, a.ordinal);
    }
}

const WORD Button = 0x80, Edit = 0x81, Static = 0x82, NoId = 0xFFFF;
const DWORD Child = WS_CHILD | WS_VISIBLE;
const DWORD DefaultButton = Child | WS_TABSTOP | BS_DEFPUSHBUTTON;
const DWORD PushButton = Child | WS_TABSTOP | BS_PUSHBUTTON;
const DWORD NumberBox = Child | WS_TABSTOP | WS_BORDER | ES_LEFT | ES_AUTOHSCROLL;
const DWORD Label = Child | WS_GROUP | SS_LEFT;
const DWORD CheckBox = Child | WS_TABSTOP | BS_AUTOCHECKBOX;

TEST(Resources, PageRangeDialog)
{
    Dialog expected = {
        DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 130, 68,
        u"Print", 10, u"Arial",
        {
            {DefaultButton, 80, 49, 40, 11, IDOK, Button, u"Print", 0},
            {PushButton, 5, 49, 40, 11, IDCANCEL, Button, u"Cancel", 0},
            {Label, 5, 7, 40, 11, NoId, Static, u"Найдено", 0},
            {NumberBox, 45, 7, 34, 12, IDC_PAGE_RANGE_COUNT, Edit, u"", 0},
            {Label, 85, 7, 35, 11, NoId, Static, u"страниц", 0},
            {Label, 5, 18, 40, 11, NoId, Static, u"Печатать", 0},
            {NumberBox, 85, 29, 35, 12, IDC_PAGE_RANGE_TO, Edit, u"", 0},
            {NumberBox, 28, 29, 35, 12, IDC_PAGE_RANGE_FROM, Edit, u"", 0},
            {Label, 5, 29, 23, 11, NoId, Static, u"С", 0},
            {Label, 63, 29, 22, 11, NoId, Static, u"по", 0},
        }};
    ExpectDialog(expected, IDD_PAGE_RANGE);
}

TEST(Resources, SettingsDialog)
{
    Dialog expected = {
        DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
        0, 0, 163, 109, u"Setting", 10, u"Arial",
        {
            {DefaultButton, 114, 92, 39, 11, IDOK, Button, u"OK", 0},
            {PushButton, 114, 78, 39, 11, IDCANCEL, Button, u"Cancel", 0},
            {NumberBox, 83, 18, 31, 12, IDC_SETTINGS_LIMITER, Edit, u"", 0},
            {Label, 5, 18, 78, 11, NoId, Static, u"Limiter(Decimal)", 0},
            {CheckBox, 5, 29, 78, 12, IDC_SETTINGS_TODOS, Button, u"Convert To Dos", 0},
            {CheckBox, 5, 41, 78, 12, IDC_SETTINGS_SKIPEMPTY, Button, u"Skip empty", 0},
            {Label, 5, 7, 78, 11, NoId, Static, u"Print To", 0},
            {NumberBox, 83, 7, 31, 12, IDC_SETTINGS_PRINT_TO, Edit, u"", 0},
        }};
    ExpectDialog(expected, IDD_SETTINGS);
}

// No pop-up style; OK is the only tab stop; the icon keeps its 20x20 size.
TEST(Resources, AboutDialog)
{
    Dialog actual;
    ASSERT_TRUE(ReadDialog(IDD_ABOUT, &actual));
    EXPECT_EQ((DWORD)(DS_MODALFRAME | DS_SETFONT | WS_CAPTION | WS_SYSMENU), actual.style);
    EXPECT_EQ(22, actual.x);
    EXPECT_EQ(17, actual.y);
    EXPECT_EQ(126, actual.cx);
    EXPECT_EQ(65, actual.cy);
    EXPECT_EQ(8, actual.pointSize);
    EXPECT_TRUE(actual.font == u"System");
    ASSERT_EQ(4u, actual.controls.size());

    const Control &icon = actual.controls[0];
    EXPECT_EQ(IDC_ABOUT_ICON, icon.id);
    EXPECT_EQ(Static, icon.classAtom);
    EXPECT_EQ((DWORD)SS_ICON, icon.style & SS_TYPEMASK);
    EXPECT_EQ(IDI_APPLICATION_ICON, icon.ordinal);
    EXPECT_EQ(3, icon.x);
    EXPECT_EQ(9, icon.y);
    EXPECT_EQ(20, icon.cx);
    EXPECT_EQ(20, icon.cy);

    const Control &name = actual.controls[1];
    EXPECT_TRUE(name.text == u"velmar Version 1.2");
    EXPECT_TRUE(name.style & SS_NOPREFIX);
    EXPECT_EQ(27, name.x);
    EXPECT_EQ(10, name.y);
    EXPECT_EQ(94, name.cx);
    EXPECT_EQ(8, name.cy);
    EXPECT_EQ(20, actual.controls[2].y);
    EXPECT_FALSE(actual.controls[2].text.empty());

    const Control &ok = actual.controls[3];
    EXPECT_EQ(DefaultButton | WS_GROUP, ok.style);
    EXPECT_EQ(IDOK, ok.id);
    EXPECT_TRUE(ok.text == u"OK");
    EXPECT_EQ(91, ok.x);
    EXPECT_EQ(49, ok.y);
    EXPECT_EQ(30, ok.cx);
    EXPECT_EQ(11, ok.cy);
    for (const Control &c : actual.controls)
        EXPECT_EQ(c.id == IDOK, (c.style & WS_TABSTOP) != 0) << "control " << c.id;
}

// ---- Icons -----------------------------------------------------------------

#pragma pack(push, 2)
struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

struct IconSize { int width; int bits; };

void ExpectIconGroup(int id, const std::vector<IconSize> &sizes)
{
    DWORD size = 0;
    const BYTE *data = FindData(RT_GROUP_ICON, id, Russian, &size);
    ASSERT_NE(nullptr, data) << "icon group " << id << " in Russian";
    ASSERT_EQ(sizes.size(), ((const WORD *)data)[2]) << "icon group " << id;
    const GroupEntry *entries = (const GroupEntry *)(data + 6);
    for (size_t i = 0; i < sizes.size(); i++) {
        SCOPED_TRACE(testing::Message() << "icon group " << id << ", image " << i);
        EXPECT_EQ(sizes[i].width, entries[i].width);
        EXPECT_EQ(sizes[i].width, entries[i].height);
        EXPECT_EQ(sizes[i].bits, entries[i].bitCount);
        EXPECT_EQ(sizes[i].bits == 4 ? 16 : 0, entries[i].colours);
        DWORD imageSize = 0;
        const BITMAPINFOHEADER *image =
            (const BITMAPINFOHEADER *)FindData(RT_ICON, entries[i].id, Russian, &imageSize);
        ASSERT_NE(nullptr, image);
        EXPECT_EQ(sizes[i].width, image->biWidth);
        EXPECT_EQ(sizes[i].width * 2, image->biHeight);
        EXPECT_EQ(sizes[i].bits, image->biBitCount);
    }
}

TEST(Resources, IconGroupsHaveTheirSizesAndDepths)
{
    ExpectIconGroup(IDI_APPLICATION_ICON, {{32, 4}, {16, 4}, {32, 8}, {16, 8}});
    ExpectIconGroup(IDI_SMALL_ICON, {{16, 4}});
    EXPECT_NE(nullptr, LoadIconA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDI_APPLICATION_ICON)));
}

// ---- Version block -------------------------------------------------------

std::string VersionString(const void *block, const char *name)
{
    std::string path = std::string("\\StringFileInfo\\041904B0\\") + name;
    char *value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block, path.c_str(), (void **)&value, &length) || !value)
        return "<missing>";
    return value;
}

TEST(Resources, VersionBlockIsRussian)
{
    DWORD size = 0;
    ASSERT_NE(nullptr, FindData(RT_VERSION, IDV_VERSION, Russian, &size));
    // Read through the file, as other programs read it.
    char path[MAX_PATH];
    ASSERT_NE(0u, GetModuleFileNameA(NULL, path, sizeof path));
    DWORD handle = 0;
    size = GetFileVersionInfoSizeA(path, &handle);
    ASSERT_NE(0u, size);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, block.data()));

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", (void **)&fixed, &length));
    EXPECT_EQ(0x00010002u, fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00010002u, fixed->dwProductVersionMS);
    EXPECT_EQ(0u, fixed->dwProductVersionLS);
    EXPECT_EQ((DWORD)(VS_FF_PRIVATEBUILD | VS_FF_SPECIALBUILD), fixed->dwFileFlags);
    EXPECT_EQ((DWORD)VFT_APP, fixed->dwFileType);

    WORD *translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", (void **)&translation, &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x0419, translation[0]);
    EXPECT_EQ(1200, translation[1]);

    EXPECT_EQ("Printing system", VersionString(block.data(), "Comments"));
    EXPECT_EQ("velmar", VersionString(block.data(), "FileDescription"));
    EXPECT_EQ("velmar", VersionString(block.data(), "InternalName"));
    EXPECT_EQ("velmar.exe", VersionString(block.data(), "OriginalFilename"));
    EXPECT_EQ("1, 2, 0, 0", VersionString(block.data(), "FileVersion"));
    EXPECT_EQ("1, 2, 0, 0", VersionString(block.data(), "ProductVersion"));
    EXPECT_EQ("1", VersionString(block.data(), "PrivateBuild"));
    EXPECT_EQ("1", VersionString(block.data(), "SpecialBuild"));
}

}  // namespace
