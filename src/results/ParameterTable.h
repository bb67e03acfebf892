#pragma once
#include <iosfwd>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "results/ResultsContents.h"
#include "results/RoomParameters.h"

/// A row of the parameter table: a receiver's value in one band (band −1: all bands, as the STI).
struct ParameterRow {
    /// The n of the receiver's [Microphone_n].
    int receiver = 0;
    int band = -1;
    ParameterValue value;
};

/// The room-acoustic parameters of every receiver of a results file, one row per value.
class ParameterTable {
public:
    /// The parameters of every receiver: per band EDT, T20, T30, C50, C80, D50, Ts, G, LF, LFC and LE, then STI.
    explicit ParameterTable(const ResultsContents& contents);

    const std::vector<ParameterRow>& rows() const { return rows_; }
    /// The row of a receiver, band and parameter name; null when there is none.
    const ParameterRow* find(int receiver, int band, const std::string& name) const;
    /// Writes the table as CSV: the header "receiver,band,parameter,value,unit", then one line per row.
    void writeCsv(std::ostream& out) const;

private:
    std::vector<ParameterRow> rows_;
    // Row index by receiver, band and name: the report looks up every value of a thousand receivers.
    std::map<std::tuple<int, int, std::string>, std::size_t> index_;
};

/// The band column of the table: the band's centre frequency in Hz ("31.5" ... "16000"), "all" for band −1.
std::string bandName(int band);
/// The value column: up to six significant digits, "inf" or "-inf" for infinities, "" for no value.
std::string valueText(const std::optional<double>& value);
