#include "logs/LogLine.h"

#include "model/Formatting.h"
#include "model/Localization.h"
#include "model/Utf8.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace tessera {
namespace {

LogLine::Text pathText(std::string format, const std::string& path) {
    return {std::move(format), {toDisplayString(path)}};
}

} // namespace

LogLine::Error LogLine::Error::posix(int errorNumber) {
    return {std::strerror(errorNumber), "NSPOSIXErrorDomain", errorNumber};
}

LogLine LogLine::scanStart(std::string path) {
    return {Clock::now(), Scan{ScanLogType::scanStart, std::move(path), {}, {}, 0, 0}};
}
LogLine LogLine::scanFinish(std::string path) {
    return {Clock::now(), Scan{ScanLogType::scanFinish, std::move(path), {}, {}, 0, 0}};
}
LogLine LogLine::exclude(std::string path) {
    return {Clock::now(), Scan{ScanLogType::exclude, std::move(path), {}, {}, 0, 0}};
}
LogLine LogLine::scanFile(std::string path, Date creationDate, Date modificationDate,
                          std::int64_t size, std::int64_t allocatedSize) {
    return {Clock::now(), Scan{ScanLogType::scanFile, std::move(path), creationDate,
                               modificationDate, size, allocatedSize}};
}
LogLine LogLine::scanError(std::string path, std::optional<Error> error) {
    return {Clock::now(), ScanError{std::move(path), std::move(error)}};
}

LogLine LogLine::watchError(std::string path, Error error) {
    error.domain = std::string(kWatchDomain);
    return scanError(std::move(path), std::move(error));
}

LogLine LogLine::settingsError(std::string path, std::string what) {
    return scanError(std::move(path), Error{std::move(what), std::string(kSettingsDomain), 0});
}

bool LogLine::isWatchError() const {
    const auto* error = std::get_if<ScanError>(&logType_);
    return error != nullptr && error->error && error->error->domain == kWatchDomain;
}

const std::string& LogLine::path() const {
    return std::visit([](const auto& type) -> const std::string& { return type.path; }, logType_);
}

std::string LogLine::Text::formatted() const {
    std::string result;
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format.compare(i, 2, "%@") == 0 && next < arguments.size()) {
            result += arguments[next++];
            ++i;
        } else {
            result += format[i];
        }
    }
    return result;
}

LogLine::Text LogLine::title() const {
    if (const auto* error = std::get_if<ScanError>(&logType_))
        return pathText(std::string(localizedText(errorTitleKey())), error->path);
    const auto& scan = std::get<Scan>(logType_);
    switch (scan.type) {
    case ScanLogType::scanStart:
        return pathText("Start scan", scan.path);
    case ScanLogType::scanFile:
        return pathText("Scan %@", scan.path);
    case ScanLogType::scanFinish:
        return pathText("Finished scan", scan.path);
    case ScanLogType::exclude:
        return pathText("%@ is excluded", scan.path);
    }
    return {};
}

LogLine::Text LogLine::message() const {
    if (const auto* error = std::get_if<ScanError>(&logType_)) {
        std::string format(localizedText(errorTitleKey()));
        if (error->error)
            format += "\n" + error->error->localizedDescription + "\n" + error->error->domain +
                      " " + std::to_string(error->error->code);
        return pathText(std::move(format), error->path);
    }
    const auto& scan = std::get<Scan>(logType_);
    switch (scan.type) {
    case ScanLogType::scanStart:
        return pathText("Start scan of %@", scan.path);
    case ScanLogType::scanFile:
        return pathText(
            "Scan %@, creation date: " + formatShortDateMediumTime(scan.creationDate) +
                ", modification date: " + formatShortDateMediumTime(scan.modificationDate) +
                ", size " + std::to_string(scan.size) + ", allocated size " +
                std::to_string(scan.allocatedSize),
            scan.path);
    case ScanLogType::scanFinish:
        return pathText("Finished scan of %@", scan.path);
    case ScanLogType::exclude:
        return pathText("%@ is excluded", scan.path);
    }
    return {};
}

const char* LogLine::errorTitleKey() const {
    const auto& error = std::get<ScanError>(logType_);
    if (error.error && error.error->domain == kSettingsDomain) return "log.error.settings";
    if (!isWatchError()) return "log.error.scan";
    return error.error->code == EOVERFLOW ? "log.error.watchLost" : "log.error.watch";
}

std::string LogLine::describe() const {
    if (const auto* error = std::get_if<ScanError>(&logType_)) {
        std::string text = "error(scan(path: \"" + toDisplayString(error->path) + "\")";
        if (error->error)
            text += ", " + error->error->domain + " " + std::to_string(error->error->code) + " (" +
                    error->error->localizedDescription + ")";
        return text + ")";
    }
    static constexpr const char* names[] = {"scanStart", "scanFile", "scanFinish", "exclude"};
    const auto& scan = std::get<Scan>(logType_);
    return std::string("scan(") + names[static_cast<int>(scan.type)] + "(path: \"" +
           toDisplayString(scan.path) + "\"))";
}

} // namespace tessera
