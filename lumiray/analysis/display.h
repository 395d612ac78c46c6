// What MAP and PLOT share on the plot: the display switches (captions, window mode, paraxial
// rays, MAP's scale drawing), the plot device chosen by an option letter, the caption block
// and the scale bar. Plot coordinates are micrometres in the plane.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "session/state.h"
#include "qx/command.h"
#include "qx/format.h"

namespace lumiray {

// MAP/E x and MAP/D x: x is C (captions), W (window mode), P (paraxial rays) or, with
// scale_allowed, S (scale drawing). Another letter prints "Unknown option: " and it.
void display_switch(Lumiray& s, const qx::CommandLine& line, bool scale_allowed);

// The device of a plot from the option letter of its command: Q PostScript, H or P HPGL,
// S or blank the screen (any letter QXPLOT knows). A letter in `own` is one of the command's
// own options and takes the device of the last plot.
char plot_device(Lumiray& s, char option, std::string_view own);

// The rectangle of the plot in micrometres.
struct PlotBox {
  float x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  float width() const { return x1 - x0; }
};

// Begins the plot of the box on the device, with room above it for the caption block and
// below it for the scale bar, and draws the box. False (after "Unable to plot at this time.")
// when the device cannot be opened.
bool begin_box_plot(Lumiray& s, char device, const PlotBox& box);

// The caption block above the box: the caption, and a label line (such as the box edge and
// plane) with the data file name at its right.
void draw_captions(Lumiray& s, char device, const PlotBox& box, std::string_view label);

// The scale bar below the box: the largest power of ten d um, from 1000000 down to 0.001,
// with d no longer than 1.7 times the half width, labelled with d and the micrometre sign.
void draw_scale_bar(Lumiray& s, char device, const PlotBox& box, double half_width_um);

// The same bar from x0 at height y with ticks tick up and down, where a plot wants it.
void draw_scale_bar_at(Lumiray& s, char device, const PlotBox& box, double half_width_um, float x0, float y,
                       float tick);

// One record of a layout as text to draw: without its line end and leading blanks.
std::string plot_text(const qx::Format& layout, std::initializer_list<qx::FormatArg> args);

// A ray as a dot at (x, y) inside the box.
void draw_dot(Lumiray& s, char device, const PlotBox& box, float x, float y);

}  // namespace lumiray
