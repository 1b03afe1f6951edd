/* fake_host.cpp - the host services for the engine tests: a log recorder and
 * a page range "dialog" that answers what the test scripted. */
#include "test_support.h"

RecordingHost Host;

static int LogToken;

ActivityLog TestLog() { return (ActivityLog)&LogToken; }

void ResetHost(int button, uint32_t from, uint32_t to)
{
    Host.lines.clear();
    Host.button = button;
    Host.from = from;
    Host.to = to;
    Host.asked = false;
    Host.offeredCount = 0;
    Host.askedWith = NULL;
    Host.onLine = nullptr;
    Host.lentImage.clear();
    Host.lentEntries = 0;
    Host.lentOutput.clear();
    Host.lentAll = false;
}

void LogLine(ActivityLog log, const char *text)
{
    if (log != TestLog())
        return;
    Host.lines.push_back(text);
    if (Host.onLine)
        Host.onLine(Host.lines.back());
}

int ChoosePageRange(ActivityLog log, uint32_t pageCount)
{
    Host.asked = true;
    Host.offeredCount = pageCount;
    Host.askedWith = log;
    PageCount = pageCount;
    PageFrom = Host.from;
    PageTo = Host.to;
    Host.lentAll = JobImage && JobPageTable && JobOutputName && JobPrinterForm;
    Host.lentSetup.clear();
    Host.lentPageLines = 0;
    if (JobPrinterForm) {
        Host.lentSetup.assign(JobPrinterForm->setup, JobPrinterForm->setup + JobPrinterForm->setupCount);
        Host.lentPageLines = JobPrinterForm->pageLines;
    }
    Host.lentCodePage = JobCodePage;
    if (JobImage)
        Host.lentImage.assign(JobImage, JobImage + JobImageSize);
    if (JobPageTable)
        Host.lentEntries = JobPageTable->Entries;
    if (JobOutputName)
        Host.lentOutput = JobOutputName;
    return Host.button;
}

/* ---- The drawing service ------------------------------------------------- */

RecordingDrawer Drawer;
static int DocumentToken;

void ResetDrawer()
{
    Drawer = RecordingDrawer();
}

DrawnDocument StartDrawing(ActivityLog log, const char *printerName, const char *documentName,
                           uint32_t carriage, uint32_t form)
{
    Drawer.logLinesAtStart = Host.lines.size();
    if (Drawer.failStart)
        return NULL;
    Drawer.documents++;
    Drawer.printerName = printerName ? printerName : "";
    Drawer.documentName = documentName ? documentName : "";
    Drawer.carriage = carriage;
    Drawer.form = form;
    return (DrawnDocument)&DocumentToken;
}

RecordedSheet RecordSheet(const LayoutSheet *sheet)
{
    RecordedSheet copy;
    std::vector<LayoutDots> runs(LAYOUT_MAX_CARRIAGE + 1);
    copy.lines.assign(sheet->lines, sheet->lines + sheet->lineCount);
    copy.cells.assign(sheet->cells, sheet->cells + sheet->cellCount);
    copy.dots.assign(sheet->dots, sheet->dots + sheet->dotCount);
    for (uint32_t i = 0; i < sheet->pictureCount; i++) {
        const LayoutPicture *picture = &sheet->pictures[i];
        /* The rectangles that reach the row's top, in the order of their left. */
        std::vector<size_t> open, reaching;
        for (uint32_t y = 0; y < picture->rows; y++) {
            uint32_t n = PictureRowDots(sheet, picture, y, runs.data(), (uint32_t)runs.size());
            size_t j = 0;
            reaching.clear();
            for (uint32_t k = 0; k < n; k++) {
                while (j < open.size() && copy.dots[open[j]].left < runs[k].left)
                    j++;
                if (j < open.size() && copy.dots[open[j]].left == runs[k].left &&
                    copy.dots[open[j]].right == runs[k].right) {
                    copy.dots[open[j]].bottom = runs[k].bottom;
                    reaching.push_back(open[j]);
                } else {
                    reaching.push_back(copy.dots.size());
                    copy.dots.push_back(runs[k]);
                }
            }
            open.swap(reaching);
        }
    }
    copy.carriage = sheet->carriage;
    copy.form = sheet->form;
    return copy;
}

int DrawJobSheet(DrawnDocument document, const LayoutSheet *sheet)
{
    if (document != (DrawnDocument)&DocumentToken)
        return 0;
    Drawer.sheets.push_back(RecordSheet(sheet));
    return Drawer.failSheet != Drawer.sheets.size();
}

int EndDrawing(DrawnDocument document)
{
    Drawer.ended++;
    return !Drawer.failEnd;
}

void AbortDrawing(DrawnDocument document)
{
    Drawer.aborted++;
}

static void AppendUtf8(std::string &out, uint16_t ch)
{
    if (ch < 0x80) {
        out += (char)ch;
    } else if (ch < 0x800) {
        out += (char)(0xC0 | (ch >> 6));
        out += (char)(0x80 | (ch & 0x3F));
    } else {
        out += (char)(0xE0 | (ch >> 12));
        out += (char)(0x80 | ((ch >> 6) & 0x3F));
        out += (char)(0x80 | (ch & 0x3F));
    }
}

std::string SheetText(const LayoutLine *lines, uint32_t lineCount, const LayoutCell *cells)
{
    std::vector<std::string> rows;
    std::vector<uint32_t> pens;

    for (uint32_t l = 0; l < lineCount; l++) {
        uint32_t row = (lines[l].y + LAYOUT_DEFAULT_SPACING / 2) / LAYOUT_DEFAULT_SPACING;
        if (rows.size() <= row) {
            rows.resize(row + 1);
            pens.resize(row + 1, 0);
        }
        std::string &text = rows[row];
        uint32_t column = (uint32_t)-1;
        for (uint32_t i = lines[l].first; i < lines[l].first + lines[l].count; i++) {
            const LayoutCell &c = cells[i];
            if (c.x == column && !text.empty()) {
                AppendUtf8(text, c.ch); /* struck on the same place */
                continue;
            }
            column = c.x;
            uint32_t cellColumn = c.x / c.width;
            while (pens[row] < cellColumn) {
                text += ' ';
                pens[row]++;
            }
            AppendUtf8(text, c.ch);
            pens[row]++;
        }
    }
    std::string out;
    for (const std::string &row : rows)
        out += row + "\n";
    return out;
}

std::string SheetText(const LayoutSheet &sheet)
{
    return SheetText(sheet.lines, sheet.lineCount, sheet.cells);
}

std::string SheetText(const RecordedSheet &sheet)
{
    return SheetText(sheet.lines.data(), (uint32_t)sheet.lines.size(), sheet.cells.data());
}
