#pragma once
// What every feature works with: the models of the controls, the
// configuration file, the data directory, the fetch time-out, and the rule
// that only the newest load writes to the fund grid.
#include "store/ConfigFile.h"
#include "model/MainModels.h"
#include "net/HttpClient.h"
#include "net/LoadToken.h"
#include "text/CodePage.h"
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <optional>

namespace fw {

class FeatureContext {
public:
    FeatureContext(MainModels& models, ConfigFile& config, int timeoutSeconds = 0, std::string dataDir = {})
        : models(models), config(config), timeoutSeconds(timeoutSeconds), dataDir(std::move(dataDir))
    {
    }
    FeatureContext(const FeatureContext&) = delete;
    FeatureContext& operator=(const FeatureContext&) = delete;

    MainModels& models;
    ConfigFile& config;
    int timeoutSeconds; // per fetch phase; 0 or less = the engine's default
    // Where 配置.ini and fundwatch.db live ("" none): the estimates are chosen
    // by the errors logged there. Fixed for the context's life, so workers read it freely.
    const std::string dataDir;
    // Whether paged lists load every page. Unset: the setting 是否全部加载
    // decides (the window); the command line says it per command instead.
    std::optional<bool> loadAllPages;

    // Replaces a whole section in one write (ConfigFile::replaceSection); a
    // failure is told as saveSetting tells it.
    bool saveSection(std::string_view section, const ConfigFile::KeyValues& keyValues)
    {
        return saved(config.replaceSection(section, keyValues));
    }
    // Changes a section as it stands in the file now (ConfigFile::editSection);
    // a failure is told as saveSetting tells it.
    bool editSection(std::string_view section, const std::function<bool(ConfigFile::KeyValues&)>& edit)
    {
        return saved(config.editSection(section, edit));
    }

    // Options of a plain request with the context's time-out.
    HttpRequestOptions requestOptions() const
    {
        HttpRequestOptions options;
        options.timeoutSeconds = timeoutSeconds;
        return options;
    }

    // Writes one setting. A settings file that cannot be written (read-only
    // file or directory) is told to the user once per run rather than losing
    // the change in silence; the program goes on with what the user set.
    bool saveSetting(std::string_view section, std::string_view key, std::string_view value)
    {
        return saved(config.write(section, key, value));
    }
    // Why the first save of this run that failed failed (ConfigFile::lastFailure,
    // UTF-8); "" while every save succeeded. The command line exits with it.
    std::string saveFailure() const
    {
        std::lock_guard lock(m_saveFailureMutex);
        return m_saveFailure;
    }

    // A list load that resets the fund grid takes a ticket (begin: the newest
    // wins). The window runs events while a page downloads, so a newer load can
    // start inside an older one's fetch; the older one then sees that its
    // ticket is no longer current and writes nothing more. Worker threads
    // write to the grid through fundGridLoads.write.
    LoadToken fundGridLoads;

    // Set while the whole-market load runs: its workbook is written from the
    // fund grid, so nothing else may reset the grid meanwhile.
    std::atomic<bool> fullListRunning {false};
    // For a load that would reset the fund grid: true (after telling the
    // user) when it must not start now.
    bool refuseGridLoad()
    {
        if (!fullListRunning.load())
            return false;
        models.view.messageBox(gbk("数据加载中，请稍后再试"));
        return true;
    }

private:
    bool saved(bool ok)
    {
        if (ok)
            return true;
        {
            std::lock_guard lock(m_saveFailureMutex);
            if (m_saveFailure.empty()) {
                std::string why = config.lastFailure();
                m_saveFailure = why.empty() ? std::string("?") : std::move(why);
            }
        }
        if (!m_saveFailureShown.exchange(true))
            models.view.messageBox(gbk("配置文件无法保存，更改不会保留"));
        return false;
    }

    mutable std::mutex m_saveFailureMutex;
    std::string m_saveFailure;
    std::atomic<bool> m_saveFailureShown {false};
};

} // namespace fw
