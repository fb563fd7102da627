// The spectrum plot of one block: x in bins, y in dB from 0 at the top to
// PlotHeight (120) at the bottom, a level L drawn at PlotHeight - (L -
// DispThresh).  Background with the signal band and grids, the trace, the
// noise lines and the peak marker, drawn from plain values.
#pragma once
#include <QFont>
#include <QImage>
#include <cstdint>

#include "display/LoopState.h"
#include "display/PictureBox.h"

// The run's frequency plan as the plot needs it.
struct PlotFrame {
    std::int32_t NFFT = 0;
    double SampleRate = 0;      // Hz
    std::int32_t CFBin = 0;     // signal band centre and width, bins
    std::int32_t SigBWBins = 0;
    std::int32_t FMinBin = 0;   // analysed bins
    std::int32_t FMaxBin = 0;
    double GuardFactor = 0;
    std::int32_t DispThresh = 0; // dB at the bottom edge
    int FMinHz = 0;             // the span as its bars read, Hz
    int FMaxHz = 0;
    bool operator==(const PlotFrame&) const = default;
};

// The background (band, grids, frequency labels) as last drawn, with all it
// was drawn from, so that a block whose background would come out the same
// copies it instead of drawing it again.
struct PlotBackdrop {
    struct Key {
        QSize size;                 // the plot's image, pixels
        double scaleLeft = 0, scaleWidth = 0, scaleHeight = 0;
        QRgb back = 0;              // what Cls fills with
        QFont font;                 // of the labels
        int drawStyle = 0;          // the style the grid rows start with
        PlotFrame frame;
        double plotHeight = 0;
        bool operator==(const Key&) const = default;
    };
    bool valid = false;
    Key key;
    QImage picture;
    double endX = 0, endY = 0;      // the current point the drawing left
};

// Draws the background, or copies it from keep when nothing it shows has
// changed; keep then holds this background.
void PlotBackground(PictureBox& plot, const PlotFrame& f, const LoopState& s, PlotBackdrop& keep);
// Bins FMinBin .. FMaxBin of levels (dB); prevLevel carries the last point
// from block to block.
void PlotTrace(PictureBox& plot, const PlotFrame& f, const LoopState& s, const double* levels, double& prevLevel);
// The measured-noise lines either side of the band, from noisePower (per
// bin; s.BinLevel keeps the last level when it is 0), and the two "Noise"
// labels, at labelLevel when stat.
void PlotNoiseLines(PictureBox& plot, const PlotFrame& f, LoopState& s, double noisePower, bool stat,
                    std::int32_t labelLevel);
void PlotStatLine(PictureBox& plot, const PlotFrame& f, const LoopState& s, std::int32_t statLevel);
void PlotPeakMarker(PictureBox& plot, const PlotFrame& f, const LoopState& s, std::int32_t peakBin, double peakLevel);
