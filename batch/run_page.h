#pragma once

// The page a run writes, chosen once when the run starts: the classic page
// (page_writer.h) or the modern one (modern_page.h), behind the three
// moments at which the run writes it. The run itself has one loop and does
// not know which page it writes.

#include "batch/page_writer.h"
#include "batch/run_host.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tamblure::batch {

class RunPage {
public:
    virtual ~RunPage() = default;
    // Once, when the page file is open, before the first picture.
    virtual void begin(PageFile& page) = 0;
    // Once per picture, in search order; imageCounter: the pictures recorded
    // before this one.
    virtual void cell(PageFile& page, const PageCell& cell, std::int32_t imageCounter) = 0;
    // Once, after the last picture; imageCounter: all the pictures.
    virtual void end(PageFile& page, std::int32_t imageCounter) = 0;
};

// The page the host asks for (pageStyle, title, columnCount, pageLinks),
// read once, for the folder named folderName (its last name, shown by the
// modern page when the title is empty).
std::unique_ptr<RunPage> pageFor(const RunHost& host, const std::string& folderName);

} // namespace tamblure::batch
