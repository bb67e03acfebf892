#include "ui/DialogTemplate.h"

namespace {
using K = ControlKind;

const DialogTemplate statusBox{
    "StatusBox",
    "Tolveno Trace",
    {
        {113, K::Text, "Parameters:", "Level", "0"},
        {114, K::Text, "Parameters:", "History", "0"},
        {115, K::Text, "Parameters:", "Time", "0"},
        {116, K::Text, "Parameters:", "Resolution", "0"},
        {117, K::Text, "Parameters:", "Humidity", "0"},
        {120, K::Text, "Parameters:", "Temperature", "0"},
        {118, K::Text, "Parameters:", "Diffraction", "0"},
        {119, K::Text, "Parameters:", "Randomize", "0"},
        {127, K::Text, "Parameters:", "Active CPUs", "0"},
        {105, K::Text, "Time:", "Elapsed:", "00:00:00"},
        {106, K::Text, "Time:", "Estimated:", "00:00:00"},
        {111, K::Text, "Total Time:", "Elapsed:", "00:00:00"},
        {112, K::Text, "Total Time:", "Estimated:", "00:00:00"},
        {101, K::Text, "Pyramids:", "Current:", "0"},
        {102, K::Text, "Pyramids:", "Total:", "0"},
        {103, K::Text, "Exceptions:", "Escapes:", "0"},
        {104, K::Text, "Exceptions:", "Edges:", "0"},
        {121, K::CheckBox, "Advanced", "Diffusion", ""},
        {122, K::CheckBox, "Advanced", "Save Diffuse Hits", ""},
        {128, K::CheckBox, "Advanced", "All obstructing", ""},
        {123, K::CheckBox, "Advanced", "Save Separate Sources", ""},
        {126, K::CheckBox, "Advanced", "Save Hits", ""},
        {124, K::CheckBox, "Advanced", "Save Escaped Rays", ""},
        {107, K::Text, "Source file:", "", "omni.spk"},
        {108, K::Text, "Source file:", "", "1 of 1"},
        {110, K::ListBox, "Messages:", "", ""},
        {202, K::ProgressBar, "", "", ""},
        {109, K::Text, "Status:", "", "Waiting..."},
        {2, K::Button, "", "&Cancel", "&Cancel"},
    },
};

const DialogTemplate waitBox{
    "WaitBox",
    "Adding impulse response: please wait...",
    {
        {201, K::Text, "", "", "File name"},
        {202, K::ProgressBar, "", "", ""},
    },
};
}  // namespace

const DialogTemplate* findDialogTemplate(std::string_view name) {
    for (const DialogTemplate* t : {&statusBox, &waitBox})
        if (name == t->name) return t;
    return nullptr;
}
