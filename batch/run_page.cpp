#include "batch/run_page.h"

#include "batch/modern_page.h"

#include <utility>

namespace tamblure::batch {

namespace {

// The classic page's four operations at the run's three moments: a cell's
// opening is written with the cell, the counter still that of the pictures
// before it.
class ClassicPage final : public RunPage {
public:
    explicit ClassicPage(PageSettings settings) : settings_(std::move(settings)) {}
    void begin(PageFile& page) override { EcritEntete(page, settings_); }
    void cell(PageFile& page, const PageCell& cell, std::int32_t imageCounter) override
    {
        OuvreCellule(page, settings_, imageCounter);
        EcritCellule(page, settings_, cell, imageCounter + 1);
    }
    void end(PageFile& page, std::int32_t imageCounter) override { EcritPied(page, settings_, imageCounter); }

private:
    PageSettings settings_;
};

} // namespace

std::unique_ptr<RunPage> pageFor(const RunHost& host, const std::string& folderName)
{
    if (host.pageStyle() == PageStyle::Modern)
        return std::make_unique<ModernPage>(
            ModernPageSettings{host.title(), folderName, host.columnCount(), host.pageLinks()});
    return std::make_unique<ClassicPage>(PageSettings{host.title(), host.columnCount()});
}

} // namespace tamblure::batch
