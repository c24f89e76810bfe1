// Writes the psychoacoustic table text psy_data (layer3/tables/psy_data.cpp): 837 lines in four
// sections (long-block partitions, short-block partitions, long-block and short-block
// scalefactor bands), six sets each, for 48000, 44100, 32000, 24000, 22050 and 16000 Hz.
//
// The construction
// ----------------
// Spectrum: the model's long FFT has 1024 points (lines 0..512), its short FFT 256 points
// (lines 0..128); line k sits at k * fs / N Hz and stands for the band from k - 0.5 to k + 0.5
// lines (line 0 from 0 to 0.5).
//
// Bark scale: z(f) = 13 atan(0.00076 f) + a atan((f / b)^2), the Zwicker-Terhardt form. The
// low-frequency term is kept as published (it puts line 1 at 0.425 Bark, which gives partition
// 0 its norm of 0.95); the two constants of the high-frequency term are fitted (Newton's method
// from the textbook 3.5 and 7500 Hz, giving about 3.392 and 7056 Hz) so that the top partitions
// of the 44100 Hz sets land on 24.442 Bark (long, lines 447..464) and 24.173 Bark (short, lines
// 90..108).
//
// Partitions: consecutive lines from line 0. The top partition gathers the highest analysed
// lines at a fixed cap width: 18 long and 19 short lines at 44100 Hz, the same width in hertz
// at 48000 and 32000 Hz, the same line count at the lower rates. Below it, walking up from line
// 0, each partition takes the fewest lines, never fewer than the partition below it and never
// more than the cap, that span a fixed share of the critical bandwidth
// (25 + 75 (1 + 1.4 f_kHz^2)^0.69 Hz) at its centre. The share is bisected so that the set's
// partitions cover as many of its lines as they can; lines left over widen the partitions just
// below each increase of width, from the top down, so widths never shrink. Partition 0 is the
// DC line alone.
//
// bval: z of the partition's centre line, rounded to three decimals (the model spreads with
// the rounded value, so norm is computed from it as well).
//
// minval: 24.5 dB at the bottom falling to 0 at the set's top partition as a raised cosine of
// the Bark position (minval = 24.5 * (cos^2(pi/2 * z / z_top))^p, p = kMinvalShape = 1). It is
// the lowest signal-to-noise ratio that the model demands of a partition, so it keeps the low
// partitions, whose few lines carry most of the music's energy, finely coded.
//
// qthr: the threshold in quiet, a flat floor of 9.563 dB (9.04278 energy units of the
// unnormalised FFT of 16-bit samples) per line; line 0 is 3 dB lower, since a real signal's DC
// line carries one real component instead of two. qthr is the floor summed over the
// partition's lines, so long and short partitions of one width share it.
//
// norm: 1 / sum_j s3[i][j] over the set's partitions, with the spreading function s3 of the
// model's tables (computed here exactly as the parser does), so that the spread energy of each
// partition is a weighted mean of the energies around it.
//
// SNR (short blocks): -8.240 dB at 0 Bark rising linearly to -4.559 dB at 24.173 Bark and held
// at the ends.
//
// Bands: scalefactor band sb covers the lines of the scalefactor band table (in hertz:
// line j of the 576-line long or 192-line short spectrum at j * fs / 1152 or j * fs / 384 Hz),
// cut at the top of the partition coverage. bu and bo are the first and last partition it
// overlaps, w1 and w2 the shares of those partitions that lie inside it, cbw = bo - bu (row 0,
// which the parser does not check, gives the count of partitions after bu without bo, as the
// 44100 Hz reference row does).
// Band edges never fall on a partition edge (a band edge is 8/9 or 2/3 of an integer, a
// partition edge half an integer), so neighbouring bands always share a partition and their
// weights add up to one. A top band that starts inside the top partition draws on that one
// partition (bu = bo, w1 its share, w2 = 0, so that it is not counted twice); a band beyond the
// coverage draws on the top partition in full (bu = bo, w1 = 0, w2 = 1).
//
// Reference rows. Four partition rows of 44100 Hz are fixed points of the construction: long
// partitions 0 and 62 and short partitions 0 and 38 come out with exactly their reference
// lines, minval, qthr, SNR and bval. Their norms are kept at the reference values where the
// normalisation differs (kReferenceNorms; --report prints both): built 0.948, 0.195, 1.000 and
// 0.532 against 0.951, 0.515, 1.000 and 0.447. The difference at the top is structural: with
// 18-line (775 Hz) partitions at 19 to 20 kHz, neighbouring Bark centres lie about 0.08 Bark
// apart, so many partitions spread into the top one; a norm of 0.515 needs about 0.3 Bark
// between centres.
// Long bands 0 and 1 come out of the band mapping exactly as their reference rows; they fix its
// scale (8/9 FFT line per band line) and its half-line partition edges. Three other reference
// band rows cannot come out of it with any layout that keeps the reference partitions, and are
// taken as given (kReferenceBands; --report prints what the mapping builds):
//  - long band 20, "bu=59 bo=61 w1=0.278 w2=0.960": the band ends at FFT line 371.6, and
//    partition 61 ends where the 18-line top partition starts, at 446.5. For 96 % of
//    partition 61 to lie inside the band it would have to be about 1900 lines wide.
//  - short band 0, "bo= 2 w2=0.167": the band ends at line 2.67. With partition 0 the DC line,
//    partition 2 holds a sixth of its width below 2.67 only if partition 1 takes lines 1 and 2
//    and partition 2 line 3 alone, narrower than the partition below it.
//  - short band 11, "bu=36 bo=38 w1=0.833 w2=1.000": the band (lines 70.7 to 90.7) ends 1.2
//    lines into the 19-line top partition (lines 90 to 108) yet would hold all of it.
// A reference row's neighbours share its end partitions: the band below ends on the row's first
// partition and the band above starts on its last, each taking the rest of that partition, so
// every partition still counts once in all (long band 19 reaches up to partition 59, short
// band 1 starts on partition 2, short band 10 ends on partition 36). The block decision reads
// the partitions only, so these rows change the ratios the bands hand to the quantiser but not
// the block types. A layout whose partitions widen past 18 lines below the top one puts
// partitions 59 to 61 nearer band 20 (14.5 to 19.2 kHz instead of 16.9 to 19.2 kHz), but still
// cannot give the row, and it chose short blocks more often on sustained tones, so the
// partitions stay as they are.
//
// The lower-rate sets (24000, 22050, 16000 Hz) are never selected by the encoder; they are built
// the same way, on the band tables of 48000, 44100 and 32000 Hz, and printed with nine
// significant digits.
//
// Usage: velto-gen-psy-tables <output file> [--report]
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "layer3/tables/scalefactor_tables.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFloorEnergy = 9.04278;  // threshold in quiet per line (9.563 dB)
constexpr double kDcDropDb = 3.0;
constexpr double kMinvalTop = 24.5;
constexpr double kMinvalShape = 1.0;
constexpr double kSnrBottom = -8.240;
constexpr double kSnrTop = -4.559;
constexpr double kSnrTopBark = 24.173;

struct RateSet {
    int fs;
    int longParts, longLines;
    int shortParts, shortLines;
    int bandTable;  // index into kScalefactorBands: 0 44100, 1 48000, 2 32000
    bool fine;      // the encoder's own rates: three decimals
};

// In text order.
constexpr std::array<RateSet, 6> kSets = {{
    {48000, 62, 481, 38, 107, 1, true},
    {44100, 63, 465, 39, 109, 0, true},
    {32000, 59, 488, 42, 110, 2, true},
    {24000, 60, 491, 45, 127, 1, false},
    {22050, 60, 489, 45, 121, 0, false},
    {16000, 56, 509, 46, 121, 2, false},
}};

struct Bark {
    double a = 3.5;
    double b = 7500.0;
    double operator()(double f) const {
        return 13.0 * std::atan(0.00076 * f) + a * std::atan((f / b) * (f / b));
    }
};

double Round3(double v) {
    return std::round(v * 1000.0) / 1000.0;
}

// Fits a and b so that the two 44100 Hz top partitions land on their Bark values.
Bark FitBark() {
    const double fLong = (447.0 + 464.0) / 2.0 * 44100.0 / 1024.0;
    const double fShort = (90.0 + 108.0) / 2.0 * 44100.0 / 256.0;
    const double zLong = 24.442, zShort = 24.173;
    Bark z;
    for (int it = 0; it < 50; ++it) {
        const double r1 = z(fLong) - zLong, r2 = z(fShort) - zShort;
        const double ha = z.a * 1e-6, hb = z.b * 1e-6;
        Bark za = z, zb = z;
        za.a += ha;
        zb.b += hb;
        const double j11 = (za(fLong) - z(fLong)) / ha, j12 = (zb(fLong) - z(fLong)) / hb;
        const double j21 = (za(fShort) - z(fShort)) / ha, j22 = (zb(fShort) - z(fShort)) / hb;
        const double det = j11 * j22 - j12 * j21;
        z.a -= (j22 * r1 - j12 * r2) / det;
        z.b -= (-j21 * r1 + j11 * r2) / det;
    }
    return z;
}

struct Partition {
    int first = 0, lines = 0;
    double minval = 0, qthr = 0, norm = 0, snr = 0, bval = 0;
};

// Critical bandwidth in hertz at frequency f (Zwicker and Terhardt).
double CriticalBandwidth(double f) {
    const double k = f / 1000.0;
    return 25.0 + 75.0 * std::pow(1.0 + 1.4 * k * k, 0.69);
}

// Walks up from line 0: each partition is the fewest lines, no fewer than the one below and no
// more than the cap, that span the given share of the critical bandwidth at its centre.
std::vector<int> WalkWidths(double share, int parts, int cap, double hzPerLine) {
    std::vector<int> w;
    int line = 0, prev = 1;
    for (int p = 0; p < parts; ++p) {
        int n = prev;
        while (p > 0 && n < cap &&
               n * hzPerLine < share * CriticalBandwidth((line + (n - 1) / 2.0) * hzPerLine))
            ++n;
        w.push_back(n);
        prev = n;
        line += n;
    }
    return w;
}

int Sum(const std::vector<int>& w) {
    int s = 0;
    for (int n : w)
        s += n;
    return s;
}

std::vector<int> Widths(int parts, int lines, int cap, double hzPerLine) {
    double lo = 0.0, hi = 30.0;
    for (int it = 0; it < 200; ++it) {
        const double mid = (lo + hi) / 2;
        (Sum(WalkWidths(mid, parts, cap, hzPerLine)) <= lines ? lo : hi) = mid;
    }
    std::vector<int> w = WalkWidths(lo, parts, cap, hzPerLine);
    int left = lines - Sum(w);
    while (left > 0) {
        bool grew = false;
        for (int p = parts - 2; p >= 1 && left > 0; --p) {
            if (w[p] < w[p + 1]) {
                ++w[p];
                --left;
                grew = true;
            }
        }
        if (!grew) {
            std::cerr << "cannot place " << left << " lines in " << parts << " partitions\n";
            std::exit(1);
        }
    }
    return w;
}

// The spreading function of the model's tables over the given Bark values.
double Spread(double bi, double bj, bool upward) {
    double x = (bi - bj) * (upward ? 1.5 : 3.0);
    const double t = (x >= 0.5 && x <= 2.5) ? 8.0 * ((x - 0.5) * (x - 0.5) - 2.0 * (x - 0.5)) : 0.0;
    const double y = 15.811389 + 7.5 * (x + 0.474) - 17.5 * std::sqrt(1.0 + (x + 0.474) * (x + 0.474));
    return y > -60.0 ? std::pow(10.0, (t + y) / 10.0) : 0.0;
}

void Normalise(std::vector<Partition>& parts) {
    for (std::size_t i = 0; i < parts.size(); ++i) {
        double sum = 0.0;
        for (std::size_t j = 0; j < parts.size(); ++j)
            sum += Spread(parts[i].bval, parts[j].bval, j < i);
        parts[i].norm = 1.0 / sum;
    }
}

std::vector<Partition> BuildPartitions(const Bark& z, int fs, int fftSize, int count, int lines, int cap44,
                                       bool isLong) {
    const double hzPerLine = double(fs) / fftSize;
    const double capHz = cap44 * 44100.0 / fftSize;
    const int cap = fs >= 32000 ? std::max(1, int(std::lround(capHz / hzPerLine))) : cap44;
    // The top partition gathers the highest analysed lines at the full cap width.
    std::vector<int> w = Widths(count - 1, lines - cap, cap, hzPerLine);
    w.push_back(cap);
    std::vector<Partition> parts(count);
    const double perLine = kFloorEnergy;
    const double dcLine = kFloorEnergy * std::pow(10.0, -kDcDropDb / 10.0);
    int line = 0;
    for (int p = 0; p < count; ++p) {
        Partition& q = parts[p];
        q.first = line;
        q.lines = w[p];
        q.bval = Round3(z((line + (w[p] - 1) / 2.0) * hzPerLine));
        q.qthr = (line == 0 ? dcLine + (w[p] - 1) * perLine : w[p] * perLine);
        line += w[p];
    }
    const double top = parts.back().bval;
    for (Partition& q : parts) {
        const double c = std::cos(kPi / 2 * q.bval / top);
        q.minval = isLong ? kMinvalTop * std::pow(c * c, kMinvalShape) : 0.0;
        const double s = kSnrBottom + (kSnrTop - kSnrBottom) * q.bval / kSnrTopBark;
        q.snr = std::clamp(s, kSnrBottom, kSnrTop);
    }
    Normalise(parts);
    return parts;
}

struct Band {
    int cbw = 0, bu = 0, bo = 0;
    double w1 = 0, w2 = 0;
};

// Partition p covers line positions [first - 0.5, first + lines - 0.5), the bottom one from 0.
std::vector<Band> BuildBands(const std::vector<Partition>& parts, const int* edges, int bands,
                             double linesPerBandLine) {
    auto lowEdge = [&](int p) { return std::max(0.0, parts[p].first - 0.5); };
    auto highEdge = [&](int p) { return parts[p].first + parts[p].lines - 0.5; };
    const double cover = highEdge(int(parts.size()) - 1);
    const int last = int(parts.size()) - 1;
    std::vector<Band> out(bands);
    for (int sb = 0; sb < bands; ++sb) {
        const double lo = edges[sb] * linesPerBandLine;
        const double hi = std::min(edges[sb + 1] * linesPerBandLine, cover);
        Band& b = out[sb];
        if (lo >= cover) {
            b = Band{0, last, last, 0.0, 1.0};
            continue;
        }
        int bu = 0;
        while (highEdge(bu) <= lo)
            ++bu;
        int bo = bu;
        while (bo < last && highEdge(bo) < hi)
            ++bo;
        if (bo == bu && sb > 0 && sb < bands - 1) {
            std::cerr << "band " << sb << " lies inside one partition\n";
            std::exit(1);
        }
        b.bu = bu;
        b.bo = bo;
        b.cbw = sb == 0 ? bo - bu - 1 : bo - bu;
        b.w1 = (highEdge(bu) - std::max(lo, lowEdge(bu))) / (highEdge(bu) - lowEdge(bu));
        b.w2 = (std::min(hi, highEdge(bo)) - lowEdge(bo)) / (highEdge(bo) - lowEdge(bo));
        if (bo == bu) b.w2 = 0.0;  // the top band inside the top partition: count its share once
    }
    return out;
}

std::string Format(const char* fmt, auto... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

struct Pin {
    int fs;
    bool isLong;
    int part;
    double norm;
};
constexpr Pin kReferenceNorms[] = {
    {44100, true, 0, 0.951}, {44100, true, 62, 0.515}, {44100, false, 0, 1.000}, {44100, false, 38, 0.447}};

void ApplyReferenceNorms(int fs, bool isLong, std::vector<Partition>& parts, bool report) {
    for (const Pin& pin : kReferenceNorms) {
        if (pin.fs != fs || pin.isLong != isLong) continue;
        double& n = parts[pin.part].norm;
        if (report)
            std::cerr << fs << (isLong ? " long" : " short") << " partition " << pin.part << ": norm " << n
                      << " built, " << pin.norm << " reference\n";
        if (Round3(n) != pin.norm) n = pin.norm;
    }
}

// The reference band rows of 44100 Hz. Rows 0 and 1 of the long set come out of the mapping as
// they are; the others cannot (see the top of this file) and are taken as given.
struct BandPin {
    int fs;
    bool isLong;
    int sb;
    Band row;
};
constexpr BandPin kReferenceBands[] = {
    {44100, true, 0, {3, 0, 4, 1.000, 0.056}},     {44100, true, 1, {3, 4, 7, 0.944, 0.611}},
    {44100, true, 20, {2, 59, 61, 0.278, 0.960}},  {44100, false, 0, {2, 0, 2, 1.000, 0.167}},
    {44100, false, 11, {2, 36, 38, 0.833, 1.000}},
};

bool SameRow(const Band& a, const Band& b) {
    return a.cbw == b.cbw && a.bu == b.bu && a.bo == b.bo && Round3(a.w1) == Round3(b.w1) &&
           Round3(a.w2) == Round3(b.w2);
}

// Sets a reference row and lets its neighbours share its end partitions with it: the band below
// ends on the row's first partition and the band above starts on its last, each taking the rest
// of that partition, so every partition still counts once in all and the weights of a shared
// partition add up to one.
void ApplyReferenceBands(int fs, bool isLong, std::vector<Band>& bands, bool report) {
    for (const BandPin& pin : kReferenceBands) {
        if (pin.fs != fs || pin.isLong != isLong) continue;
        Band& b = bands[pin.sb];
        if (report)
            std::cerr << fs << (isLong ? " long" : " short") << " band " << pin.sb << ": built bu " << b.bu
                      << " bo " << b.bo << " w1 " << b.w1 << " w2 " << b.w2 << "\n";
        if (SameRow(b, pin.row)) continue;
        b = pin.row;
        if (pin.sb > 0) {
            Band& below = bands[pin.sb - 1];
            below.bo = b.bu;
            below.w2 = 1.0 - b.w1;
            below.cbw = pin.sb - 1 == 0 ? below.bo - below.bu - 1 : below.bo - below.bu;
        }
        if (pin.sb + 1 < int(bands.size())) {
            Band& above = bands[pin.sb + 1];
            above.bu = b.bo;
            above.w1 = 1.0 - b.w2;
            above.cbw = above.bo - above.bu;
        }
    }
    for (std::size_t sb = 1; sb < bands.size(); ++sb) {
        if (bands[sb].bu > bands[sb].bo || bands[sb].bu < bands[sb - 1].bo) {
            std::cerr << fs << " band " << sb << " does not follow the band below it\n";
            std::exit(1);
        }
    }
}

std::vector<std::string> LongSection(const std::vector<std::vector<Partition>>& sets) {
    std::vector<std::string> out;
    for (std::size_t s = 0; s < sets.size(); ++s) {
        const RateSet& r = kSets[s];
        const auto& ps = sets[s];
        out.push_back(r.fine ? Format("freq = %.1f partition = %d", double(r.fs), int(ps.size()) - 1)
                             : Format("freq= %d partition = %d", r.fs, int(ps.size()) - 1));
        for (std::size_t p = 0; p < ps.size(); ++p) {
            const Partition& q = ps[p];
            out.push_back(r.fine ? Format("No=%2d #lines=%2d minval=%4.1f qthr=%8.3f norm=%5.3f bval=%8.3f",
                                          int(p), q.lines, q.minval, q.qthr, q.norm, q.bval)
                                 : Format("No=%d #lines=%2d minval= %.9g qthr= %.9g norm=%.9g bval= %.9g",
                                          int(p), q.lines, q.minval, q.qthr, q.norm, q.bval));
        }
    }
    return out;
}

std::vector<std::string> ShortSection(const std::vector<std::vector<Partition>>& sets) {
    std::vector<std::string> out;
    for (std::size_t s = 0; s < sets.size(); ++s) {
        const RateSet& r = kSets[s];
        const auto& ps = sets[s];
        out.push_back(r.fine ? Format("freq = %.1f partition = %d", double(r.fs), int(ps.size()) - 1)
                             : Format("freq= %d partition = %d", r.fs, int(ps.size()) - 1));
        for (std::size_t p = 0; p < ps.size(); ++p) {
            const Partition& q = ps[p];
            out.push_back(r.fine ? Format("No=%2d #lines=%2d qthr=%8.3f norm=%5.3f SNR=%6.3f bval=%8.3f",
                                          int(p), q.lines, q.qthr, q.norm, q.snr, q.bval)
                                 : Format("No=%d #lines=%2d qthr= %.9g norm=%.9g SNR=%.9g bval= %.9g", int(p),
                                          q.lines, q.qthr, q.norm, q.snr, q.bval));
        }
    }
    return out;
}

std::vector<std::string> BandSection(const std::vector<std::vector<Band>>& sets) {
    std::vector<std::string> out;
    for (std::size_t s = 0; s < sets.size(); ++s) {
        const RateSet& r = kSets[s];
        const auto& bs = sets[s];
        out.push_back(Format("freq=%d sb=%d", r.fs, int(bs.size()) - 1));
        for (std::size_t sb = 0; sb < bs.size(); ++sb) {
            const Band& b = bs[sb];
            out.push_back(r.fine ? Format("sb=%2d cbw=%d bu=%2d bo=%2d w1=%5.3f w2=%5.3f", int(sb), b.cbw,
                                          b.bu, b.bo, b.w1, b.w2)
                                 : Format("sb=%d cbw=%d bu=%d bo=%d w1=%.9g w2=%.9g", int(sb), b.cbw, b.bu,
                                          b.bo, b.w1, b.w2));
        }
    }
    return out;
}

void Write(const std::string& path, const std::vector<std::string>& lines) {
    std::ofstream out(path, std::ios::binary);
    out << "// Generated by tools/gen_psy_tables.cpp. Do not edit.\n"
           "// The psychoacoustic table text: long-block partitions, short-block partitions, long-block\n"
           "// and short-block scalefactor bands, for 48000, 44100, 32000, 24000, 22050 and 16000 Hz.\n"
           "#include \"layer3/tables/psy_data.h\"\n\n"
           "// clang-format off\n"
           "namespace layer3::tables {\n\n"
           "const char* const kPsyData[kPsyDataLines] = {\n";
    for (const std::string& l : lines)
        out << "    \"" << l << "\",\n";
    out << "};\n\n}  // namespace layer3::tables\n";
    if (!out) {
        std::cerr << "cannot write " << path << "\n";
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: velto-gen-psy-tables <output file> [--report]\n";
        return 2;
    }
    const bool report = argc > 2 && std::string(argv[2]) == "--report";
    const Bark z = FitBark();
    if (report) std::cerr << "Bark constants a = " << z.a << ", b = " << z.b << "\n";
    std::vector<std::vector<Partition>> longSets, shortSets;
    std::vector<std::vector<Band>> longBands, shortBands;
    for (const RateSet& r : kSets) {
        auto l = BuildPartitions(z, r.fs, 1024, r.longParts, r.longLines, 18, true);
        auto s = BuildPartitions(z, r.fs, 256, r.shortParts, r.shortLines, 19, false);
        ApplyReferenceNorms(r.fs, true, l, report);
        ApplyReferenceNorms(r.fs, false, s, report);
        const auto& sfb = layer3::tables::kScalefactorBands[r.bandTable];
        longBands.push_back(BuildBands(l, sfb.l, 21, 1024.0 / 1152.0));
        shortBands.push_back(BuildBands(s, sfb.s, 12, 256.0 / 384.0));
        ApplyReferenceBands(r.fs, true, longBands.back(), report);
        ApplyReferenceBands(r.fs, false, shortBands.back(), report);
        longSets.push_back(std::move(l));
        shortSets.push_back(std::move(s));
    }
    std::vector<std::string> lines = LongSection(longSets);
    for (auto* section : {&shortSets})
        for (const std::string& l : ShortSection(*section))
            lines.push_back(l);
    for (const std::string& l : BandSection(longBands))
        lines.push_back(l);
    for (const std::string& l : BandSection(shortBands))
        lines.push_back(l);
    if (lines.size() != 837) {
        std::cerr << "built " << lines.size() << " lines instead of 837\n";
        return 1;
    }
    if (report)
        for (const std::string& l : lines)
            std::cerr << l << "\n";
    Write(argv[1], lines);
    return 0;
}
