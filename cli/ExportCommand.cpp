// export: the window's whole-market load (every page, then every fund's
// profile from its five worker threads) and its workbook, written to --out or
// to today's file in the data directory.
#include "cli/Commands.h"
#include "cli/Progress.h"

#include "export/GridExport.h"
#include "funds/FullList.h"
#include "net/EventPump.h"
#include "text/CodePage.h"

#include <memory>

namespace fw::cli {

namespace {

// The load's progress bar in the view, per phase: the ranking pages, then
// the profiles (each phase with its own time left).
class LoadProgress {
public:
    LoadProgress(CliSession& session, const FullList& load) : m_session(session), m_load(load)
    {
        if (!session.io.errIsTerminal)
            return;
        m_listener = session.models.view.addListener([this](const ViewChange& change) {
            // The load sets its bar on its own thread only (the workers write captions).
            if (change.kind == ViewChange::Progress)
                show(m_session.models.view.progress());
        });
    }
    ~LoadProgress()
    {
        if (m_listener)
            m_session.models.view.removeListener(m_listener);
    }

private:
    void show(const ProgressState& state)
    {
        if (!state.visible || state.maximum <= 0) {
            m_bar.reset();
            return;
        }
        const bool profiles = m_load.phase() == FullListPhase::Profiles;
        if (!m_bar || profiles != m_profiles) {
            m_profiles = profiles;
            m_bar = std::make_unique<ProgressBar>(m_session.io.err, true, profiles ? "基金概况" : "排行页");
        }
        m_bar->update(state.value, state.maximum);
    }

    CliSession& m_session;
    const FullList& m_load;
    std::unique_ptr<ProgressBar> m_bar;
    bool m_profiles = false;
    int m_listener = 0;
};

} // namespace

int runExport(CliSession& session)
{
    MainModels& models = session.models;
    const std::string path =
        session.options.outFile.empty() ? WorkbookExport(models, session.dataDir).outputPath() : session.options.outFile;

    FullList load(session.context);
    bool loaded = false;
    ExportResult written;
    load.exportFundGrid = [&] {
        // A load whose probe or pages all failed leaves no fund: no workbook.
        loaded = load.counts().funds > 0;
        if (loaded && !cancelRequested())
            written = exportGridToWorkbook(models.view, nullptr, false, &models.fundGrid, true, path);
    };
    {
        LoadProgress progress(session, load);
        // The load looks for events between its requests: Ctrl-C is one.
        installEventPump([&load] {
            if (cancelRequested())
                load.cancel();
        });
        load.loadFullList();
        uninstallEventPump();
    }
    if (cancelRequested())
        return kExitInterrupted;
    if (!loaded) {
        session.error("the whole market could not be loaded");
        return kExitFailed;
    }
    if (!written) {
        session.errorGbk(written.failure);
        return kExitFailed;
    }

    const int funds = load.counts().funds, profiles = load.counts().profiles;
    // Pages or profiles that failed leave rows out or empty: the workbook is
    // still written, as the window writes it, and the shortfall is told.
    if (funds < load.fundRowCount())
        session.error("only " + std::to_string(funds) + " of " + std::to_string(load.fundRowCount())
                      + " funds were loaded");
    if (profiles < funds)
        session.error(std::to_string(funds - profiles) + " funds have no profile");

    if (outputFormat(session) == OutputFormat::Json) {
        const Json doc = {{"file", path}, {"funds", funds}, {"profiles", profiles}};
        session.io.out << doc.dump(2) << '\n';
        return kExitDone;
    }
    TextTable table;
    table.header = {"文件", "基金", "概况"};
    table.rows.push_back({{path}, {std::to_string(funds)}, {std::to_string(profiles)}});
    writeTable(session, table);
    return kExitDone;
}

} // namespace fw::cli
