#pragma once

#include <QString>

namespace kalvo {

class WebPlugin;

// Finds and loads the browser engine plugin once per process, the first time it is asked for:
// the file $KALVO_WEB_PLUGIN names, else the one installed beside the client
// (../lib/kalvo-client/plugins/ from its folder), else the one of the build tree.
class WebPluginLoader {
public:
    // The file the plugin would be loaded from, empty when there is none; needs no
    // application object, so that the program can ask before it makes one.
    static QString Find();
    // The plugin, or nullptr when none could be loaded.
    static WebPlugin* Instance();
    // Why the last Instance() found none.
    static const QString& Failure();
};

} // namespace kalvo
