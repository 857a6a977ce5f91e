#include "app/web_plugin_loader.h"

#include "app/app_logging.h"
#include "app/web_plugin.h"

#include <QFileInfo>
#include <QPluginLoader>
#include <QStringList>

namespace kalvo {

namespace {

constexpr const char* kFileName = "kalvo_web_view.so";

QStringList Candidates() {
    const QString named = qEnvironmentVariable("KALVO_WEB_PLUGIN");
    if (!named.isEmpty()) {
        return {named};
    }
    const QString folder = QFileInfo(QFileInfo("/proc/self/exe").canonicalFilePath()).path();
    return {folder + "/../lib/kalvo-client/plugins/" + kFileName,
            QStringLiteral(KALVO_WEB_PLUGIN_BUILT)};
}

struct Loaded {
    WebPlugin* Plugin = nullptr;
    QString Failure;
};

Loaded Load() {
    Loaded loaded;
    const QString path = WebPluginLoader::Find();
    if (path.isEmpty()) {
        loaded.Failure = "not installed (" + Candidates().join(", ") + ")";
    } else {
        QPluginLoader loader(path);
        loaded.Plugin = qobject_cast<WebPlugin*>(loader.instance());
        loaded.Failure = loaded.Plugin != nullptr ? QString() : loader.errorString();
    }
    qCInfo(lcKalvo) << "web view plugin:" << (loaded.Plugin != nullptr ? path : loaded.Failure);
    return loaded;
}

const Loaded& Once() {
    static const Loaded loaded = Load();
    return loaded;
}

} // namespace

QString WebPluginLoader::Find() {
    for (const QString& path : Candidates()) {
        if (QFileInfo::exists(path)) {
            return path;
        }
    }
    return {};
}

WebPlugin* WebPluginLoader::Instance() {
    return Once().Plugin;
}

const QString& WebPluginLoader::Failure() {
    return Once().Failure;
}

} // namespace kalvo
