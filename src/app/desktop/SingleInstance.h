// One app per user session: a second `tessera PATH...` hands its paths to the running one, which
// opens them and comes to the front, and then exits. Over D-Bus (org.freedesktop.Application
// under the app's id, which also lets launchers start the app by D-Bus activation) where there
// is a session bus; else over a local socket in $XDG_RUNTIME_DIR, where a socket left by a
// killed instance is taken over rather than blocking the launch.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLocalServer;

namespace tessera {

class SingleInstance final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    static constexpr auto kApplicationId = "org.vantorel.Tessera";
    static constexpr auto kObjectPath = "/org/vantorel/Tessera";

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    /// Paths to open, sent by another launch (or a launcher); empty: just come to the front.
    std::function<void(const std::vector<std::string>&)> onOpen;

    /// Serves this session from now on (true), or hands `paths` (absolute) to the instance that
    /// already does (false, and this process should exit).
    bool claim(const std::vector<std::string>& paths);
    /// How the instance was found or claimed: "D-Bus" or "local socket".
    const std::string& channel() const { return channel_; }

public slots:
    // org.freedesktop.Application, exported over D-Bus.
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData);
    Q_SCRIPTABLE void Open(const QStringList& uris, const QVariantMap& platformData);
    Q_SCRIPTABLE void ActivateAction(const QString& name, const QVariantList& parameter,
                                     const QVariantMap& platformData);

private:
    bool claimOverDBus(const std::vector<std::string>& paths, bool& claimed);
    bool claimOverSocket(const std::vector<std::string>& paths);
    void readConnection();

    std::unique_ptr<QLocalServer> server_;
    std::string channel_;
};

/// The local socket's path: $XDG_RUNTIME_DIR/tessera.socket, else one per user in /tmp.
std::string instanceSocketPath();

} // namespace tessera
