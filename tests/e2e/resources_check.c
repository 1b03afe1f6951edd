/* resources_check.c - checks the resources linked into velmar.exe.
 *
 * Loads the program as a data file (nothing of it runs) and compares its
 * menu, accelerators, strings, dialog templates, icons, version block and
 * application manifest, each under the language it must carry, with the
 * published values. The dialog templates are parsed from their bytes, so
 * styles, positions, ids, texts and fonts are checked exactly as the dialog
 * manager will see them.
 *
 * usage: resources_check [--if-present] PATH\velmar.exe
 * (a Unix path is taken as Z:). With --if-present a program that is not
 * there is skipped (status 77): the 64-bit tests check the 32-bit build's
 * resources this way where 32-bit programs cannot run.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#define LANG_RU MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT)    /* 0x0419 */
#define LANG_US MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US) /* 0x0409 */
#define NO_ID   (-1)

static int Failures;
static int Checks;

#define CHECK(cond, ...) CheckAt(__LINE__, (cond), __VA_ARGS__)

static int CheckAt(int line, int cond, const char *format, ...)
{
    va_list args;
    Checks++;
    if (cond)
        return 1;
    Failures++;
    printf("resources_check.c:%d: FAIL: ", line);
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    printf("\n");
    return 0;
}

static HMODULE Module;

static const BYTE *Resource(LPCWSTR type, int id, WORD language, DWORD *size)
{
    HRSRC found = FindResourceExW(Module, type, MAKEINTRESOURCEW(id), language);
    HGLOBAL loaded;
    if (!found)
        return NULL;
    loaded = LoadResource(Module, found);
    if (size)
        *size = SizeofResource(Module, found);
    return loaded ? (const BYTE *)LockResource(loaded) : NULL;
}

static const char *Narrow(const wchar_t *text)
{
    static char buffers[4][512];
    static int next;
    char *buffer = buffers[next++ & 3];
    WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, 512, NULL, NULL);
    return buffer;
}

/* ---- menu 109 ------------------------------------------------------------ */

typedef struct {
    const wchar_t *text;
    UINT id;
} MenuItem;

static void CheckPopup(HMENU bar, int index, const wchar_t *title, const MenuItem *items, int count,
                       BOOL rightJustified)
{
    wchar_t text[256];
    MENUITEMINFOW info;
    HMENU popup;
    int i, k = 0, n;

    memset(text, 0, sizeof text);
    GetMenuStringW(bar, index, text, 256, MF_BYPOSITION);
    CHECK(wcscmp(text, title) == 0, "menu 109 item %d is \"%s\", expected \"%s\"", index, Narrow(text),
          Narrow(title));
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_SUBMENU;
    GetMenuItemInfoW(bar, index, TRUE, &info);
    popup = info.hSubMenu;
    CHECK(((info.fType & MFT_RIGHTJUSTIFY) != 0) == rightJustified,
          "menu \"%s\": right-justified is %d, expected %d", Narrow(title),
          (info.fType & MFT_RIGHTJUSTIFY) != 0, rightJustified);
    if (!CHECK(popup != NULL, "menu \"%s\" is not a pop-up", Narrow(title)))
        return;
    n = GetMenuItemCount(popup);
    for (i = 0; i < n; i++) {
        memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE;
        GetMenuItemInfoW(popup, i, TRUE, &info);
        if (info.fType & MFT_SEPARATOR)
            continue;
        memset(text, 0, sizeof text);
        GetMenuStringW(popup, i, text, 256, MF_BYPOSITION);
        if (!CHECK(k < count, "menu \"%s\" has an extra item \"%s\"", Narrow(title), Narrow(text)))
            return;
        CHECK(wcscmp(text, items[k].text) == 0, "menu \"%s\" item %d is \"%s\", expected \"%s\"",
              Narrow(title), k, Narrow(text), Narrow(items[k].text));
        CHECK(GetMenuItemID(popup, i) == items[k].id, "menu item \"%s\" sends %u, expected %u",
              Narrow(text), GetMenuItemID(popup, i), items[k].id);
        k++;
    }
    CHECK(k == count, "menu \"%s\" has %d items, expected %d", Narrow(title), k, count);
}

static void CheckMenu(void)
{
    static const MenuItem file[] = {{L"Open and Print", 32772}, {L"E&xit", 105}};
    static const MenuItem setting[] = {{L"Setting", 32773}};
    static const MenuItem help[] = {{L"Help", 32774}, {L"&About ...", 104}};
    const BYTE *data = Resource((LPCWSTR)RT_MENU, 109, LANG_RU, NULL);
    HMENU bar;

    if (!CHECK(data != NULL, "no menu 109 in Russian (0x0419)"))
        return;
    bar = LoadMenuIndirectW(data);
    if (!CHECK(bar != NULL, "menu 109 does not load"))
        return;
    CHECK(GetMenuItemCount(bar) == 3, "menu 109 has %d menus, expected 3", GetMenuItemCount(bar));
    CheckPopup(bar, 0, L"&File", file, 2, FALSE);
    CheckPopup(bar, 1, L"Setting", setting, 1, FALSE);
    CheckPopup(bar, 2, L"&Help", help, 2, TRUE);
    DestroyMenu(bar);
}

/* ---- accelerator table 109 and the strings -------------------------------- */

static void CheckAccelerators(void)
{
    DWORD size = 0, i;
    const BYTE *data = Resource((LPCWSTR)RT_ACCELERATOR, 109, LANG_US, &size);
    int question = 0, slash = 0;

    if (!CHECK(data != NULL, "no accelerator table 109 in U.S. English (0x0409)"))
        return;
    CHECK(size == 16, "accelerator table 109 has %lu entries, expected 2", (unsigned long)size / 8);
    for (i = 0; i + 8 <= size; i += 8) {
        WORD flags = *(const WORD *)(data + i) & ~0x80;  /* 0x80 marks the last entry */
        WORD key = *(const WORD *)(data + i + 2);
        WORD command = *(const WORD *)(data + i + 4);
        CHECK(flags == FALT, "accelerator %u: flags 0x%x, expected Alt on a character (0x%x)", key, flags,
              FALT);
        CHECK(command == 104, "accelerator %u sends %u, expected 104", key, command);
        question += key == '?';
        slash += key == '/';
    }
    CHECK(question == 1 && slash == 1, "accelerators: \"?\" %d times, \"/\" %d times, expected once each",
          question, slash);
}

static void CheckString(int id, const wchar_t *expected)
{
    DWORD size = 0;
    const WORD *p = (const WORD *)Resource((LPCWSTR)RT_STRING, (id >> 4) + 1, LANG_US, &size);
    wchar_t text[256];
    int i;

    if (!CHECK(p != NULL, "no string %d in U.S. English (0x0409)", id))
        return;
    for (i = 0; i < (id & 15); i++)
        p += 1 + *p;
    memset(text, 0, sizeof text);
    if (*p < 256)
        memcpy(text, p + 1, *p * sizeof(wchar_t));
    CHECK(wcscmp(text, expected) == 0, "string %d is \"%s\", expected \"%s\"", id, Narrow(text),
          Narrow(expected));
}

/* ---- dialog templates ------------------------------------------------------ */

typedef struct {
    DWORD style;
    short x, y, cx, cy;
    int id;
    WORD classOrdinal;  /* 0x80 button, 0x81 edit, 0x82 static */
    wchar_t text[128];
    WORD textOrdinal;
} DialogItem;

typedef struct {
    DWORD style;
    short x, y, cx, cy;
    wchar_t title[128];
    WORD pointSize;
    wchar_t face[64];
    int count;
    DialogItem items[32];
} Dialog;

/* A name-or-ordinal field: 0 none, 0xFFFF then an ordinal, or a string. */
static const WORD *ReadNameOrOrdinal(const WORD *p, wchar_t *text, int size, WORD *ordinal)
{
    *ordinal = 0;
    if (text)
        text[0] = 0;
    if (*p == 0xFFFF) {
        *ordinal = p[1];
        return p + 2;
    }
    if (text)
        lstrcpynW(text, (const wchar_t *)p, size);
    return p + wcslen((const wchar_t *)p) + 1;
}

static WORD ClassOrdinal(WORD ordinal, const wchar_t *name)
{
    if (ordinal)
        return ordinal;
    if (_wcsicmp(name, L"button") == 0)
        return 0x80;
    if (_wcsicmp(name, L"edit") == 0)
        return 0x81;
    if (_wcsicmp(name, L"static") == 0)
        return 0x82;
    return 0;
}

static const WORD *AlignDword(const WORD *p, const BYTE *base)
{
    return (const WORD *)(base + ((((const BYTE *)p - base) + 3) & ~3));
}

/* Both layouts: the classic DLGTEMPLATE and the extended one. */
static int ParseDialog(const BYTE *data, Dialog *dialog)
{
    BOOL extended = ((const WORD *)data)[0] == 1 && ((const WORD *)data)[1] == 0xFFFF;
    const WORD *p;
    wchar_t name[128];
    WORD ordinal;
    int i;

    memset(dialog, 0, sizeof *dialog);
    if (extended) {
        dialog->style = *(const DWORD *)(data + 12);
        dialog->count = *(const WORD *)(data + 16);
        p = (const WORD *)(data + 18);
    } else {
        dialog->style = *(const DWORD *)data;
        dialog->count = *(const WORD *)(data + 8);
        p = (const WORD *)(data + 10);
    }
    dialog->x = (short)p[0];
    dialog->y = (short)p[1];
    dialog->cx = (short)p[2];
    dialog->cy = (short)p[3];
    p += 4;
    p = ReadNameOrOrdinal(p, NULL, 0, &ordinal);  /* menu */
    p = ReadNameOrOrdinal(p, NULL, 0, &ordinal);  /* class */
    lstrcpynW(dialog->title, (const wchar_t *)p, 128);
    p += wcslen((const wchar_t *)p) + 1;
    if (dialog->style & DS_SETFONT) {
        dialog->pointSize = *p++;
        if (extended)
            p += 2;  /* weight, italic and character set */
        lstrcpynW(dialog->face, (const wchar_t *)p, 64);
        p += wcslen((const wchar_t *)p) + 1;
    }
    if (dialog->count > 32)
        return 0;
    for (i = 0; i < dialog->count; i++) {
        DialogItem *item = &dialog->items[i];
        p = AlignDword(p, data);
        if (extended) {
            item->style = *(const DWORD *)(p + 4);
            p += 6;
        } else {
            item->style = *(const DWORD *)p;
            p += 4;
        }
        item->x = (short)p[0];
        item->y = (short)p[1];
        item->cx = (short)p[2];
        item->cy = (short)p[3];
        p += 4;
        if (extended) {
            item->id = (int)*(const DWORD *)p;
            p += 2;
        } else {
            item->id = (short)*p;
            p += 1;
        }
        p = ReadNameOrOrdinal(p, name, 128, &ordinal);
        item->classOrdinal = ClassOrdinal(ordinal, name);
        p = ReadNameOrOrdinal(p, item->text, 128, &item->textOrdinal);
        p = (const WORD *)((const BYTE *)(p + 1) + *p);  /* creation data */
    }
    return 1;
}

/* The kinds of control the templates use. */
enum { DEFPUSH, PUSH, EDIT, TEXT, TEXT_NOPREFIX, AUTOCHECK, ICON, DROPLIST };

typedef struct {
    int id;
    int kind;
    const wchar_t *text;  /* NULL: not checked */
    short x, y, cx, cy;
    BOOL tabStop;
} ExpectedItem;

static void CheckItem(int dialogId, int index, const DialogItem *item, const ExpectedItem *expected)
{
    static const WORD classes[] = {0x80, 0x80, 0x81, 0x82, 0x82, 0x80, 0x82, 0x85};
    const char *what = expected->text ? Narrow(expected->text) : "";
    DWORD kindStyle = 0, kindMask = 0;

    CHECK(item->id == expected->id, "dialog %d control %d (%s): id %d, expected %d", dialogId, index, what,
          item->id, expected->id);
    CHECK(item->classOrdinal == classes[expected->kind], "dialog %d control %d (%s): class 0x%x, expected 0x%x",
          dialogId, index, what, item->classOrdinal, classes[expected->kind]);
    CHECK(item->x == expected->x && item->y == expected->y && item->cx == expected->cx
              && item->cy == expected->cy,
          "dialog %d control %d (%s): at %d, %d, %d, %d, expected %d, %d, %d, %d", dialogId, index, what, item->x,
          item->y, item->cx, item->cy, expected->x, expected->y, expected->cx, expected->cy);
    if (expected->kind == ICON)
        CHECK(item->textOrdinal == 107, "dialog %d control %d: shows resource %u, expected icon 107", dialogId,
              index, item->textOrdinal);
    else if (expected->text)
        CHECK(wcscmp(item->text, expected->text) == 0, "dialog %d control %d: text \"%s\", expected \"%s\"",
              dialogId, index, Narrow(item->text), what);
    CHECK(((item->style & WS_TABSTOP) != 0) == expected->tabStop,
          "dialog %d control %d (%s): tab stop %d, expected %d", dialogId, index, what,
          (item->style & WS_TABSTOP) != 0, expected->tabStop);
    CHECK((item->style & WS_CHILD) != 0, "dialog %d control %d (%s): not a child window", dialogId, index, what);

    switch (expected->kind) {
    case DEFPUSH:       kindMask = BS_TYPEMASK; kindStyle = BS_DEFPUSHBUTTON; break;
    case PUSH:          kindMask = BS_TYPEMASK; kindStyle = BS_PUSHBUTTON; break;
    case AUTOCHECK:     kindMask = BS_TYPEMASK; kindStyle = BS_AUTOCHECKBOX; break;
    case EDIT:          kindMask = WS_BORDER | ES_AUTOHSCROLL; kindStyle = kindMask; break;
    case TEXT:          kindMask = SS_TYPEMASK; kindStyle = SS_LEFT; break;
    case TEXT_NOPREFIX: kindMask = SS_TYPEMASK | SS_NOPREFIX; kindStyle = SS_LEFT | SS_NOPREFIX; break;
    case ICON:          kindMask = SS_TYPEMASK; kindStyle = SS_ICON; break;
    case DROPLIST:      kindMask = 0x3; kindStyle = CBS_DROPDOWNLIST; break;
    }
    CHECK((item->style & kindMask) == kindStyle, "dialog %d control %d (%s): style 0x%08lx lacks 0x%08lx",
          dialogId, index, what, (unsigned long)item->style, (unsigned long)kindStyle);
}

static void CheckDialog(int id, DWORD styleSet, DWORD styleClear, short x, short y, short cx, short cy,
                        const wchar_t *title, WORD pointSize, const wchar_t *face, const ExpectedItem *items,
                        int count)
{
    const BYTE *data = Resource((LPCWSTR)RT_DIALOG, id, LANG_RU, NULL);
    static Dialog dialog;
    int i;

    if (!CHECK(data != NULL, "no dialog %d in Russian (0x0419)", id))
        return;
    if (!CHECK(ParseDialog(data, &dialog), "dialog %d: cannot parse its template", id))
        return;
    CHECK((dialog.style & styleSet) == styleSet, "dialog %d: style 0x%08lx lacks 0x%08lx", id,
          (unsigned long)dialog.style, (unsigned long)(styleSet & ~dialog.style));
    CHECK((dialog.style & styleClear) == 0, "dialog %d: style 0x%08lx must not have 0x%08lx", id,
          (unsigned long)dialog.style, (unsigned long)(dialog.style & styleClear));
    CHECK(dialog.x == x && dialog.y == y && dialog.cx == cx && dialog.cy == cy,
          "dialog %d: at %d, %d, %d, %d, expected %d, %d, %d, %d", id, dialog.x, dialog.y, dialog.cx, dialog.cy, x,
          y, cx, cy);
    if (title)
        CHECK(wcscmp(dialog.title, title) == 0, "dialog %d: title \"%s\", expected \"%s\"", id,
              Narrow(dialog.title), Narrow(title));
    CHECK((dialog.style & DS_SETFONT) && dialog.pointSize == pointSize && wcscmp(dialog.face, face) == 0,
          "dialog %d: font \"%s\" %u, expected \"%s\" %u", id, Narrow(dialog.face), dialog.pointSize,
          Narrow(face), pointSize);
    if (!CHECK(dialog.count == count, "dialog %d has %d controls, expected %d", id, dialog.count, count))
        return;
    for (i = 0; i < count; i++)
        CheckItem(id, i, &dialog.items[i], &items[i]);
}

static void CheckDialogs(void)
{
    static const ExpectedItem pageRange[] = {
        {1, DEFPUSH, L"Print", 80, 49, 40, 11, TRUE},
        {2, PUSH, L"Cancel", 5, 49, 40, 11, TRUE},
        {NO_ID, TEXT, L"Найдено", 5, 7, 40, 11, FALSE},
        {1000, EDIT, L"", 45, 7, 34, 12, TRUE},
        {NO_ID, TEXT, L"страниц", 85, 7, 35, 11, FALSE},
        {NO_ID, TEXT, L"Печатать", 5, 18, 40, 11, FALSE},
        {1003, EDIT, L"", 85, 29, 35, 12, TRUE},
        {1004, EDIT, L"", 28, 29, 35, 12, TRUE},
        {NO_ID, TEXT, L"С", 5, 29, 23, 11, FALSE},
        {NO_ID, TEXT, L"по", 63, 29, 22, 11, FALSE},
        {1005, PUSH, L"&Просмотр", 125, 29, 45, 12, TRUE},
    };
    static const ExpectedItem settings[] = {
        {1, DEFPUSH, L"OK", 114, 92, 39, 11, TRUE},
        {2, PUSH, L"Cancel", 114, 78, 39, 11, TRUE},
        {1002, EDIT, L"", 83, 18, 31, 12, TRUE},
        {NO_ID, TEXT, L"Limiter(Decimal)", 5, 18, 78, 11, FALSE},
        {1001, AUTOCHECK, L"Convert To Dos", 5, 29, 78, 12, TRUE},
        {1003, AUTOCHECK, L"Skip empty", 5, 41, 78, 12, TRUE},
        {NO_ID, TEXT, L"Print To", 5, 7, 78, 11, FALSE},
        {1004, EDIT, L"", 83, 7, 31, 12, TRUE},
        {1005, PUSH, L"...", 115, 7, 12, 12, TRUE},
        {NO_ID, TEXT, L"Code page", 5, 55, 78, 11, FALSE},
        {1006, DROPLIST, L"", 83, 54, 31, 40, TRUE},
        {1007, AUTOCHECK, L"Draw pages", 5, 66, 78, 12, TRUE},
        {NO_ID, TEXT, L"Lines per page", 5, 80, 78, 11, FALSE},
        {1008, EDIT, L"", 83, 79, 28, 12, TRUE},
        {NO_ID, TEXT, L"Printer setup", 5, 94, 78, 11, FALSE},
        {1009, EDIT, L"", 5, 106, 136, 12, TRUE},
        {1010, PUSH, L"...", 143, 106, 12, 12, TRUE},
        {NO_ID, TEXT, L"Watch folder", 5, 120, 78, 11, FALSE},
        {1011, EDIT, L"", 5, 132, 136, 12, TRUE},
        {1012, PUSH, L"...", 143, 132, 12, 12, TRUE},
        {NO_ID, TEXT, L"Pins", 5, 148, 78, 11, FALSE},
        {1013, DROPLIST, L"", 83, 147, 31, 50, TRUE},
    };
    static const ExpectedItem about[] = {
        {2, ICON, NULL, 3, 9, 20, 20, FALSE},
        {NO_ID, TEXT_NOPREFIX, L"velmar Version 1.2", 27, 10, 94, 8, FALSE},
        {NO_ID, TEXT, NULL, 27, 20, 94, 8, FALSE},
        {1, DEFPUSH, L"OK", 91, 49, 30, 11, TRUE},
    };
    const DWORD caption = WS_CAPTION | WS_SYSMENU;
    const BYTE *data;
    Dialog dialog;

    CheckDialog(129, DS_MODALFRAME | WS_POPUP | caption, 0, 0, 0, 175, 68, L"Print", 10, L"Arial", pageRange,
                11);
    CheckDialog(130, WS_POPUP | caption | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, DS_MODALFRAME, 0, 0, 163, 165,
                L"Setting", 10, L"Arial", settings, 22);
    CheckDialog(103, DS_MODALFRAME | caption, WS_POPUP, 22, 17, 126, 65, NULL, 8, L"System", about, 4);

    /* The OK button of the About box starts a group. */
    data = Resource((LPCWSTR)RT_DIALOG, 103, LANG_RU, NULL);
    if (data && ParseDialog(data, &dialog) && dialog.count == 4)
        CHECK((dialog.items[3].style & WS_GROUP) != 0, "dialog 103: the OK button does not start a group");
}

/* ---- icons ------------------------------------------------------------------ */

/* Checks icon group ID against WANT entries of "width x height x bits". */
static void CheckIconGroup(int id, const int (*want)[3], int wantCount)
{
    DWORD size = 0;
    const BYTE *group = Resource((LPCWSTR)RT_GROUP_ICON, id, LANG_RU, &size);
    int count, i, k, seen[8] = {0};

    if (!CHECK(group != NULL, "no icon group %d in Russian (0x0419)", id))
        return;
    count = *(const WORD *)(group + 4);
    CHECK(count == wantCount, "icon group %d has %d images, expected %d", id, count, wantCount);
    for (i = 0; i < count && 6 + (i + 1) * 14 <= (int)size; i++) {
        const BYTE *entry = group + 6 + i * 14;
        int width = entry[0] ? entry[0] : 256, height = entry[1] ? entry[1] : 256;
        int colours = entry[2], bits = *(const WORD *)(entry + 6);
        WORD imageId = *(const WORD *)(entry + 12);
        HRSRC found = FindResourceW(Module, MAKEINTRESOURCEW(imageId), (LPCWSTR)RT_ICON);
        const BITMAPINFOHEADER *header;
        int matched = 0;

        if (!CHECK(found != NULL, "icon group %d: image %u is missing", id, imageId))
            continue;
        header = (const BITMAPINFOHEADER *)LockResource(LoadResource(Module, found));
        if (!CHECK(header && header->biSize == sizeof(BITMAPINFOHEADER),
                   "icon group %d: image %u is not a device-independent bitmap", id, imageId))
            continue;
        CHECK(header->biWidth == width && header->biHeight == 2 * height,
              "icon group %d: image %u is %ldx%ld, its directory says %dx%d", id, imageId, header->biWidth,
              header->biHeight / 2, width, height);
        CHECK(header->biBitCount == 4 ? (colours == 16 || bits == 4) : (colours == 0),
              "icon group %d: image %u of %u bits is listed with %d colours, %d bits", id, imageId,
              header->biBitCount, colours, bits);
        for (k = 0; k < wantCount; k++) {
            if (!seen[k] && want[k][0] == header->biWidth && want[k][1] == header->biHeight / 2
                && want[k][2] == header->biBitCount) {
                seen[k] = matched = 1;
                break;
            }
        }
        CHECK(matched, "icon group %d: unexpected image %ldx%ld in %u bits", id, header->biWidth,
              header->biHeight / 2, header->biBitCount);
    }
    for (k = 0; k < wantCount; k++)
        CHECK(seen[k], "icon group %d: no %dx%d image in %d colours", id, want[k][0], want[k][1],
              1 << want[k][2]);
}

/* ---- version block ---------------------------------------------------------- */

static void CheckVersion(const wchar_t *path)
{
    static const wchar_t *const fields[][2] = {
        {L"FileVersion", L"1, 2, 0, 0"},   {L"ProductVersion", L"1, 2, 0, 0"},
        {L"Comments", L"Printing system"}, {L"FileDescription", L"velmar"},
        {L"InternalName", L"velmar"},      {L"OriginalFilename", L"velmar.exe"},
        {L"PrivateBuild", L"1"},           {L"SpecialBuild", L"1"},
    };
    DWORD handle = 0, size = GetFileVersionInfoSizeW(path, &handle);
    static BYTE block[65536];
    VS_FIXEDFILEINFO *fixed = NULL;
    WORD *translation = NULL;
    UINT length = 0;
    size_t i;

    CHECK(Resource((LPCWSTR)RT_VERSION, 1, LANG_RU, NULL) != NULL, "no version block 1 in Russian (0x0419)");
    if (!CHECK(size > 0 && size <= sizeof block && GetFileVersionInfoW(path, 0, size, block),
               "no version information"))
        return;
    if (CHECK(VerQueryValueW(block, L"\\", (void **)&fixed, &length) && fixed, "no fixed version information")) {
        CHECK(fixed->dwFileVersionMS == 0x00010002 && fixed->dwFileVersionLS == 0,
              "file version 0x%08lx%08lx, expected 1.2.0.0", fixed->dwFileVersionMS, fixed->dwFileVersionLS);
        CHECK(fixed->dwProductVersionMS == 0x00010002 && fixed->dwProductVersionLS == 0,
              "product version 0x%08lx%08lx, expected 1.2.0.0", fixed->dwProductVersionMS,
              fixed->dwProductVersionLS);
        CHECK((fixed->dwFileFlags & (VS_FF_PRIVATEBUILD | VS_FF_SPECIALBUILD))
                  == (VS_FF_PRIVATEBUILD | VS_FF_SPECIALBUILD),
              "file flags 0x%lx lack private build and special build", fixed->dwFileFlags);
    }
    if (CHECK(VerQueryValueW(block, L"\\VarFileInfo\\Translation", (void **)&translation, &length)
                  && length >= 4,
              "no translation"))
        CHECK(translation[0] == 0x0419 && translation[1] == 1200, "translation 0x%04x/%u, expected 0x0419/1200",
              translation[0], translation[1]);
    for (i = 0; i < sizeof fields / sizeof fields[0]; i++) {
        wchar_t query[128];
        wchar_t *value = NULL;
        swprintf(query, 128, L"\\StringFileInfo\\041904B0\\%ls", fields[i][0]);
        if (CHECK(VerQueryValueW(block, query, (void **)&value, &length) && value, "no version field %s",
                  Narrow(fields[i][0])))
            CHECK(wcscmp(value, fields[i][1]) == 0, "version field %s is \"%s\", expected \"%s\"",
                  Narrow(fields[i][0]), Narrow(value), Narrow(fields[i][1]));
    }
}

/* ---- application manifest (resource 1 of type 24) ------------------------ */

/* The processor the program is built for, from its PE header: "x86",
 * "amd64", or NULL when the file cannot be read as a program. */
static const char *ProgramProcessor(const wchar_t *path)
{
    BYTE head[4096];
    DWORD got = 0, offset;
    WORD machine;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return NULL;
    if (!ReadFile(file, head, sizeof head, &got, NULL))
        got = 0;
    CloseHandle(file);
    if (got < 0x40 || head[0] != 'M' || head[1] != 'Z')
        return NULL;
    memcpy(&offset, head + 0x3c, sizeof offset);
    if (offset > got - 6 || memcmp(head + offset, "PE\0\0", 4) != 0)
        return NULL;
    memcpy(&machine, head + offset + 4, sizeof machine);
    return machine == IMAGE_FILE_MACHINE_I386 ? "x86" : machine == IMAGE_FILE_MACHINE_AMD64 ? "amd64" : NULL;
}

static void CheckManifest(const wchar_t *path)
{
    static const char *const expected[] = {
        "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
        "<supportedOS Id=\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"/>", /* Vista */
        "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>", /* 7 */
        "<supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>", /* 8 */
        "<supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>", /* 8.1 */
        "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>", /* 10 and 11 */
        ">true</dpiAware>",
        ">system</dpiAwareness>",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
    };
    static char text[16384];
    DWORD size = 0;
    const BYTE *data = Resource(MAKEINTRESOURCEW(24), 1, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), &size);
    ACTCTXW context;
    HANDLE activation;
    size_t i;

    if (!CHECK(data && size > 0 && size < sizeof text, "no manifest (resource 1 of type 24, neutral)"))
        return;
    memcpy(text, data, size);
    text[size] = '\0';
    for (i = 0; i < sizeof expected / sizeof expected[0]; i++)
        CHECK(strstr(text, expected[i]) != NULL, "manifest lacks %s", expected[i]);
    CHECK(strstr(text, "requireAdministrator") == NULL && strstr(text, "highestAvailable") == NULL,
          "manifest asks for elevation");
    CHECK(strstr(text, "PerMonitor") == NULL, "manifest claims per-monitor DPI awareness");

    /* Windows refuses to start a program whose manifest names another
     * processor: both the program's identity and the common controls it
     * asks for must name its own. */
    {
        const char *processor = ProgramProcessor(path);
        const char *at = text;
        int named = 0;
        if (CHECK(processor != NULL, "cannot read the processor from the program's header")) {
            size_t length = strlen(processor);
            while ((at = strstr(at, "processorArchitecture=\"")) != NULL) {
                at += strlen("processorArchitecture=\"");
                named++;
                CHECK(strncmp(at, processor, length) == 0 && at[length] == '"',
                      "manifest names processor %.8s in a program for %s", at, processor);
            }
            CHECK(named == 2, "manifest names the processor %d times, expected 2", named);
        }
    }

    /* The loader must accept it: a manifest it cannot parse stops the
     * program from starting at all. Only a process of the program's own
     * width can make its context (another gets ERROR_SXS_CANT_GEN_ACTCTX);
     * the other width's checker leaves that to the program's own tests. */
    {
        const char *processor = ProgramProcessor(path);
        if (processor && strcmp(processor, sizeof(void *) == 8 ? "amd64" : "x86") != 0) {
            printf("resources_check: the program is for %s: its activation context is left to its own tests\n", processor);
            return;
        }
    }
    memset(&context, 0, sizeof context);
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = path;
    context.lpResourceName = MAKEINTRESOURCEW(1);
    activation = CreateActCtxW(&context);
    if (CHECK(activation != INVALID_HANDLE_VALUE, "the manifest does not make an activation context (error %lu)",
              GetLastError()))
        ReleaseActCtx(activation);
}

int wmain(int argc, wchar_t **argv)
{
    static const int appIcons[][3] = {{32, 32, 4}, {16, 16, 4}, {32, 32, 8}, {16, 16, 8}};
    static const int smallIcons[][3] = {{16, 16, 4}};
    wchar_t path[MAX_PATH];
    wchar_t *p;

    int ifPresent = argc == 3 && wcscmp(argv[1], L"--if-present") == 0;

    if (ifPresent) {
        argv++;
        argc--;
    }
    if (argc != 2) {
        fprintf(stderr, "usage: resources_check [--if-present] PATH\\velmar.exe\n");
        return 2;
    }
    /* Wine maps the Unix root to Z:. */
    if (argv[1][0] == L'/')
        swprintf(path, MAX_PATH, L"Z:%ls", argv[1]);
    else
        lstrcpynW(path, argv[1], MAX_PATH);
    for (p = path; *p; p++)
        if (*p == L'/')
            *p = L'\\';

    if (ifPresent && GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
        printf("skipped: %s is not there\n", Narrow(path));
        return 77;
    }
    Module = LoadLibraryExW(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (!Module) {
        printf("resources_check: cannot load %s (error %lu)\n", Narrow(path), GetLastError());
        return 1;
    }
    CheckMenu();
    CheckAccelerators();
    CheckString(103, L"velmar");
    CheckString(109, L"VELMAR");
    CheckDialogs();
    CheckIconGroup(107, appIcons, 4);
    CheckIconGroup(108, smallIcons, 1);
    CheckVersion(path);
    CheckManifest(path);
    FreeLibrary(Module);

    printf("resources_check: %d checks, %d failed\n", Checks, Failures);
    return Failures ? 1 : 0;
}
