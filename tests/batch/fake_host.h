#pragma once

// A window stand-in for the batch tests: fixed control values, a list of
// names, and a hook between two pictures.

#include "batch/run_host.h"

#include <functional>
#include <string>
#include <vector>

namespace tamblure::test {

class FakeHost : public batch::RunHost {
public:
    batch::Criterion criterionValue = batch::Criterion::LargestDimension;
    int qualityValue = 75;
    bool pageValue = false;
    int columnsValue = 1;
    std::string titleValue;
    std::vector<std::string> list;
    int eventsProcessed = 0;
    bool stop = false;
    std::function<void(FakeHost&)> onEvents;

    batch::Criterion criterion() const override { return criterionValue; }
    int quality() const override { return qualityValue; }
    bool pageWanted() const override { return pageValue; }
    int columnCount() const override { return columnsValue; }
    std::string title() const override { return titleValue; }
    void clearList() override { list.clear(); }
    void addToList(const std::string& fileName) override { list.push_back(fileName); }
    void processEvents() override
    {
        ++eventsProcessed;
        if (onEvents)
            onEvents(*this);
    }
    bool stopRequested() const override { return stop; }
};

} // namespace tamblure::test
