/* draw.h - drawing laid-out sheets (engine/layout.h) on a device context:
 * the printer's, for a drawn job, or a window's, for the page preview. Both
 * use DrawSheet, so the preview shows what the printer gets. */
#ifndef VELMAR_DRAW_H
#define VELMAR_DRAW_H

#include <windows.h>

#include "layout.h"

/* Draws sheet on dc into rect, which stands for area, the printable area of
 * the sheet of paper (in the device's own dots when drawing on a printer;
 * any rectangle of the same shape on a screen). The grid is fitted to area
 * by FitSheet and then mapped onto rect. Each run of cells with the same
 * look is one ExtTextOutW with its advances; the font is "Courier New", else
 * the first of "Liberation Mono", "DejaVu Sans Mono", "Lucida Console" the
 * system has; italic, super- and subscript cells in its italic face and at
 * two thirds of the height. The bit-image dots are black, drawn under the
 * text: each band of them one 1-bit picture, or black rectangles where a
 * band is too large for one or the device refuses it. Returns 0 when a GDI
 * call failed. */
int DrawSheet(HDC dc, const RECT *rect, const DrawingArea *area, const LayoutSheet *sheet);

/* The printable area a job of carriage x form (layout.h units) would be
 * drawn on, turned when it prints landscape (ChooseLandscape): that of
 * outputName's sheet when it names an installed printer (returns 1), else
 * of A4 (returns 0). *landscape says which way the sheet lies. */
int DrawingAreaFor(const char *outputName, uint32_t carriage, uint32_t form, DrawingArea *area,
                   int *landscape);

#endif
