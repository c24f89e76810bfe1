#include "layer3/psy_tables.h"

#include <cmath>
#include <cstdio>

#include "platform/fatal_error.h"

namespace layer3 {

namespace {

constexpr int kSetsPerSection = 6;

// The texts the checks report; the table text is part of the program, so they guard the build.
constexpr const char* kBadPartitionRow = "please check \"psy_data\"";
constexpr const char* kBadOtherRow = "please check \"psy_data.\"\n";
constexpr const char* kBadBandIndex = "30:please check \"psy_data\"\n";
constexpr const char* kBadBandRow = "31:please check \"psy_data.\"\n";

[[noreturn]] void Defect(const char* text) {
    platform::FatalErrorToStdout(text);
}

}  // namespace

struct CPsyTables::Cursor {
    std::span<const char* const> text;
    std::size_t next = 0;

    // The next line; running out of text is a defect of the text like any other.
    const char* Line(const char* defect) {
        if (next >= text.size() || text[next] == nullptr) Defect(defect);
        return text[next++];
    }
};

double SpreadingFunction(double bi, double bj, bool maskerBelow) {
    const double x = (bi - bj) * (maskerBelow ? 1.5 : 3.0);
    const double t = (x >= 0.5 && x <= 2.5) ? 8.0 * ((x - 0.5) * (x - 0.5) - 2.0 * (x - 0.5)) : 0.0;
    const double y = 15.811389 + 7.5 * (x + 0.474) - 17.5 * std::sqrt(1.0 + (x + 0.474) * (x + 0.474));
    return y > -60.0 ? std::pow(10.0, (t + y) / 10.0) : 0.0;
}

namespace {

void BuildSpreading(const double* bval, int count, double (*s3)[kMaxPartitions]) {
    for (int i = 0; i < count; ++i)
        for (int j = 0; j < count; ++j)
            s3[i][j] = SpreadingFunction(bval[i], bval[j], j < i);
}

// Reads a set header; returns the row count (last index + 1).
int ReadHeader(const char* line, const char* format, double& freq) {
    int last = -1;
    if (std::sscanf(line, format, &freq, &last) != 2 || last < 0) Defect(kBadOtherRow);
    return last + 1;
}

// A row of a set that is not selected: only its running index is checked.
void SkipRow(const char* line, const char* format, int expected) {
    int index = -1;
    if (std::sscanf(line, format, &index) != 1 || index != expected) Defect(kBadOtherRow);
}

// Marks `lines` lines of a partition map from `first` on; false when they do not fit.
bool MarkLines(int* map, int capacity, int& first, int lines, int partition) {
    if (lines < 0 || first + lines > capacity) return false;
    for (int k = 0; k < lines; ++k)
        map[first + k] = partition;
    first += lines;
    return true;
}

}  // namespace

void CPsyTables::Clear() {
    *this = CPsyTables{};
    for (int& p : partition_l)
        p = -1;
    for (int& p : partition_s)
        p = -1;
}

void CPsyTables::Parse(int samplingFrequency, std::span<const char* const> text) {
    Clear();
    Cursor in{text};
    ParseLongPartitions(in, samplingFrequency);
    BuildSpreading(bval_l, npart_l, s3_l);
    ParseShortPartitions(in, samplingFrequency);
    BuildSpreading(bval_s, npart_s, s3_s);
    ParseBands(in, samplingFrequency, true);
    ParseBands(in, samplingFrequency, false);
    // A rate without its sets would leave the model without partitions.
    if (npart_l == 0 || npart_s == 0) Defect(kBadOtherRow);
}

// The sets of a partition section: each set's header names its rate and row count; only the
// set of the selected rate is read, row by row, the others are skipped.
template <typename ReadRow>
void CPsyTables::ParsePartitionSets(Cursor& in, int samplingFrequency, int& npart, ReadRow readRow) {
    for (int set = 0; set < kSetsPerSection; ++set) {
        double freq = 0;
        const int rows = ReadHeader(in.Line(kBadOtherRow), "freq = %lf partition = %d", freq);
        const bool selected = freq == samplingFrequency;
        if (selected && rows > kMaxPartitions) Defect(kBadPartitionRow);
        int line = 0;
        for (int row = 0; row < rows; ++row) {
            if (!selected) {
                SkipRow(in.Line(kBadOtherRow), "No=%d", row);
                continue;
            }
            readRow(in.Line(kBadPartitionRow), row, line);
        }
        if (selected) npart = rows;
    }
}

void CPsyTables::ParseLongPartitions(Cursor& in, int samplingFrequency) {
    ParsePartitionSets(in, samplingFrequency, npart_l, [this](const char* text, int row, int& line) {
        int no = -1, lines = 0;
        double mv = 0, qt = 0, nm = 0, bv = 0;
        const int got = std::sscanf(text, "No=%d #lines=%d minval=%lf qthr=%lf norm=%lf bval=%lf", &no,
                                    &lines, &mv, &qt, &nm, &bv);
        if (got != 6 || no != row || !MarkLines(partition_l, kLongFftLines, line, lines, no))
            Defect(kBadPartitionRow);
        numlines_l[no] = lines;
        minval[no] = mv;
        qthr_l[no] = qt;
        norm_l[no] = nm;
        bval_l[no] = bv;
    });
}

void CPsyTables::ParseShortPartitions(Cursor& in, int samplingFrequency) {
    ParsePartitionSets(in, samplingFrequency, npart_s, [this](const char* text, int row, int& line) {
        int no = -1, lines = 0;
        double qt = 0, nm = 0, snr = 0, bv = 0;
        const int got = std::sscanf(text, "No=%d #lines=%d qthr=%lf norm=%lf SNR=%lf bval=%lf", &no, &lines,
                                    &qt, &nm, &snr, &bv);
        if (got != 6 || no != row || !MarkLines(partition_s, kShortFftLines, line, lines, no))
            Defect(kBadPartitionRow);
        numlines_s[no] = lines;
        qthr_s[no] = qt;
        norm_s[no] = nm;
        SNR_s[no] = snr;
        bval_s[no] = bv;
    });
}

void CPsyTables::ParseBands(Cursor& in, int samplingFrequency, bool isLong) {
    const int bands = isLong ? kPsyLongBands : kPsyShortBands;
    const int parts = isLong ? npart_l : npart_s;
    int* cbw = isLong ? cbw_l : cbw_s;
    int* bu = isLong ? bu_l : bu_s;
    int* bo = isLong ? bo_l : bo_s;
    double* w1 = isLong ? w1_l : w1_s;
    double* w2 = isLong ? w2_l : w2_s;
    for (int set = 0; set < kSetsPerSection; ++set) {
        double freq = 0;
        const int rows = ReadHeader(in.Line(kBadOtherRow), "freq=%lf sb=%d", freq);
        const bool selected = freq == samplingFrequency;
        // The model reads every band, so a selected set must hold exactly that many rows.
        if (selected && rows != bands) Defect(kBadBandIndex);
        for (int row = 0; row < rows; ++row) {
            if (!selected) {
                SkipRow(in.Line(kBadOtherRow), "sb=%d", row);
                continue;
            }
            int sb = -1, c = 0, u = 0, o = 0;
            double a = 0, b = 0;
            const int got = std::sscanf(in.Line(kBadBandIndex), "sb=%d cbw=%d bu=%d bo=%d w1=%lf w2=%lf", &sb,
                                        &c, &u, &o, &a, &b);
            if (got != 6 || sb != row) Defect(kBadBandIndex);
            // The model sums partitions bu..bo, so they must exist (row 0 included).
            if (u < 0 || o < u || o >= parts) Defect(kBadBandRow);
            cbw[sb] = c;
            bu[sb] = u;
            bo[sb] = o;
            w1[sb] = a;
            w2[sb] = b;
            if (sb > 0 && (bo[sb] != bu[sb] + cbw[sb] || std::fabs(1.0 - w1[sb] - w2[sb - 1]) > 0.01))
                Defect(kBadBandRow);
        }
    }
}

}  // namespace layer3
