#pragma once

#include <touchsearch/dataset.h>

namespace host {

// Runs f with the dataset's controls disabled: the grid refreshes once, after it,
// however many times f changed the view, and also when f fails.
template <class F> void WithControlsDisabled(Dataset& dataSet, F&& f)
{
    dataSet.DisableControls();
    try {
        f();
    } catch (...) {
        dataSet.EnableControls();
        throw;
    }
    dataSet.EnableControls();
}

} // namespace host
