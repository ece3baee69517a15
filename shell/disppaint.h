// Painting of the display, the lookup-table strip and the enlarged view
// into the GUI script's Tk photos, from the display picture and lookup
// table that the interpreter thread prepares (shell/disp.h). GUI thread
// only.
#pragma once

#include <cstdint>
#include <vector>

struct Tcl_Interp;
extern Tcl_Interp *Interp;   // the GUI's one Tcl interpreter (tavex.cpp)

// The two frames in image-plane coordinates, as the last frames message
// gave them.
extern int Ifx, Ify, Ifw, Ifh;
extern int Mfx, Mfy, Mfw, Mfh;

// Sizes of the display and lookup-table canvases.
extern int DispWidth, DispHeight, LutWidth, LutHeight;

// Where and how large the picture was last painted; linked to the Tcl
// variables of the same names (read-only for the script).
// DispX0, DispY0: the canvas position of the full photo's top-left pixel;
// negative when a fixed scale shows only part of it (scrolled).
extern double DispZoom;
extern int DispX0, DispY0;
// The full photo's size (picture and border) at the current scale; the
// photo "iDisplay" holds the part of it that the canvas shows.
extern int DispPhotoW, DispPhotoH;
extern int ImaX0, ImaY0, ImaWidth, ImaHeight;

// Paints the display picture into the photo "iDisplay", centred in the
// display canvas, with its border and the two frame outlines. Throws the
// Tcl result text when one of its Tcl commands fails.
void DispPaint();
// Paints the lookup table as a vertical strip into the photo "iLut".
void LutPaint();

// Links the display variables; called once by TclInit.
void LinkDisplayVariables(Tcl_Interp *interp);

// Tcl commands: GuiDispConfigure w h, GuiLutConfigure w h, GuiMaxPaint w h.
int GuiDispConfigure(void *, Tcl_Interp *interp, int argc, const char *argv[]);
int GuiLutConfigure(void *, Tcl_Interp *interp, int argc, const char *argv[]);
int GuiMaxPaint(void *, Tcl_Interp *interp, int argc, const char *argv[]);
// GuiDispView fit: the whole picture fitted into the canvas (the default).
// GuiDispView num den ?cx cy?: the fixed scale num/den (each 1..64); the
// image point under canvas position (cx, cy), by default the canvas
// centre, stays where it is.
int GuiDispView(void *, Tcl_Interp *interp, int argc, const char *argv[]);
// GuiDispPan dx dy: scrolls a view larger than the canvas by (dx, dy)
// screen pixels; it stops at the picture's edges.
int GuiDispPan(void *, Tcl_Interp *interp, int argc, const char *argv[]);
// GuiDispValue x y: the displayed image's value at the image-plane point
// (x, y) as text ("17", "1", "(255 0 10)"), empty outside the image.
int GuiDispValue(void *, Tcl_Interp *interp, int argc, const char *argv[]);

// The pure parts, exposed for tests and benchmarks.

// Nearest-neighbour scaling of a w x h RGB picture by `zoom` into the
// interior of a (dw + border * 2) x (dh + border * 2) RGB buffer, with the
// given border width (1 for the display, 0 for the enlarged view).
void ScalePicture(const uint8_t *src, int w, int h, double zoom, int dw, int dh,
                  int border, uint8_t *dst);

// A part of a full photo: its top-left pixel and its size.
struct ViewPort {
    int left, top, width, height;
};

// Nearest-neighbour scaling by the exact fraction num/den of the part
// `port` of the full photo (dw + 2) x (dh + 2), whose interior is the
// scaled picture, into a port.width x port.height RGB buffer. Border pixels
// are left for the frame outlines. At an integer scale every image pixel
// becomes an equal square.
void ScaleView(const uint8_t *src, int w, int h, int num, int den, ViewPort port, int dw, int dh,
               uint8_t *dst);

// Draws the outline of the image-plane rectangle (x, y, w, h), scaled by
// zoom, into a W x H RGB buffer whose interior is dw x dh; edges that fall
// outside the buffer are left out.
void DrawFrame(uint8_t *buf, int W, int H, int dw, int dh, double zoom, int x, int y,
               int w, int h, const uint8_t colour[3]);
// The same for a buffer that holds only the part `port` of the W x H photo.
void DrawFrameView(uint8_t *buf, ViewPort port, int W, int H, int dw, int dh, double zoom,
                   int x, int y, int w, int h, const uint8_t colour[3]);
