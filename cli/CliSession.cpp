#include "cli/CliSession.h"

#include "store/AppPaths.h"
#include "cli/TextTable.h"
#include "net/ServiceHosts.h"
#include "text/CodePage.h"

namespace fw::cli {

CliSession::CliSession(const CliOptions& options, CliIo& io)
    : options(options), io(io), dataDir(dataDirectory(options.dataDir)), config(configFilePath(dataDir)),
      context(models, config, options.timeoutSeconds, dataDir)
{
}

CliSession::~CliSession()
{
    // No later request may reach a demo service that is gone.
    if (m_demo)
        setServiceHosts(ServiceHosts::defaults());
}

bool CliSession::start()
{
    if (options.demo) {
        m_demo = std::make_unique<sample::SampleService>();
        if (m_demo->start(0) < 0) {
            error("the sample service could not start");
            return false;
        }
        setServiceHosts(ServiceHosts::allAt(m_demo->baseUrl()));
    } else if (!options.service.empty()) {
        ServiceHosts hosts = ServiceHosts::allAt(options.service);
        hosts.applyEnvironmentOverrides();
        setServiceHosts(hosts);
    } else {
        setServiceHosts(ServiceHosts::fromEnvironment());
    }
    return true;
}

void CliSession::error(const std::string& utf8Message) const
{
    io.err << "fundwatch-cli: " << printableText(utf8Message) << '\n';
}

void CliSession::errorGbk(const std::string& gbkMessage) const { error(gbkToUtf8(gbkMessage)); }

} // namespace fw::cli
