#include "job/batch_alert.h"

BatchAlert EndOfBatchAlert(bool stopped, const std::vector<std::string>& failed) {
    BatchAlert alert;
    for (const std::string& name : failed)
        alert.details += name + "\n";
    if (stopped) {
        alert.text = "Encoding stopped.";
    } else if (failed.size() == 1) {
        alert.text = "Encoding finished: 1 file could not be encoded.";
    } else if (!failed.empty()) {
        alert.text = "Encoding finished: " + std::to_string(failed.size()) + " files could not be encoded.";
    } else {
        alert.text = "Encoding Complete!";
    }
    return alert;
}
