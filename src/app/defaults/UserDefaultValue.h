// Typed values in the user defaults. Each is read once, when made: a stored value of the right
// type is taken; a string is read as JSON of that type (older builds stored some values so);
// anything else reads as the default. Setting the value stores it at once.
#pragma once

#include "app/defaults/UserDefaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <type_traits>

namespace tessera {

/// The stored `variant` as a T, if it is one (see above). For int, bool, double and QString.
template <typename T> std::optional<T> userDefaultAs(const QVariant& variant) {
    if (!variant.isValid()) return std::nullopt;
    const int type = variant.metaType().id();
    if constexpr (std::is_same_v<T, QString>) {
        if (type == QMetaType::QString) return variant.toString();
        return std::nullopt;
    } else {
        if (type != QMetaType::QString && type != QMetaType::QByteArray) {
            // Already typed (from a native format, or set in this process).
            if (type == QMetaType::Bool) {
                if constexpr (std::is_same_v<T, bool>) return variant.toBool();
                return std::nullopt;
            }
            if (std::is_same_v<T, bool>) return std::nullopt;
            bool ok = false;
            const double number = variant.toDouble(&ok);
            if (!ok) return std::nullopt;
            if constexpr (std::is_same_v<T, int>) {
                if (number != static_cast<double>(static_cast<int>(number))) return std::nullopt;
                return static_cast<int>(number);
            }
            return static_cast<T>(number);
        }
        // INI files keep every scalar as text: read it as JSON.
        const QJsonDocument json = QJsonDocument::fromJson("[" + variant.toString().toUtf8() + "]");
        if (!json.isArray() || json.array().size() != 1) return std::nullopt;
        const QJsonValue value = json.array().at(0);
        if constexpr (std::is_same_v<T, bool>) {
            if (value.isBool()) return value.toBool();
        } else if constexpr (std::is_same_v<T, int>) {
            if (value.isDouble() && value.toDouble() == static_cast<double>(value.toInt()))
                return value.toInt();
        } else {
            if (value.isDouble()) return static_cast<T>(value.toDouble());
        }
        return std::nullopt;
    }
}

/// A value under `key`, with a default.
template <typename T> class UserDefaultValue {
public:
    UserDefaultValue(QString key, T fallback) : key_(std::move(key)), value_(std::move(fallback)) {
        if (auto stored = userDefaultAs<T>(userDefaults()->value(key_))) value_ = *stored;
    }
    const T& value() const { return value_; }
    void setValue(T value) {
        value_ = std::move(value);
        userDefaults()->setValue(key_, value_);
    }

private:
    QString key_;
    T value_;
};

/// A value under `key` that may be absent.
template <typename T> class OptionalUserDefaultValue {
public:
    explicit OptionalUserDefaultValue(QString key)
        : key_(std::move(key)), value_(userDefaultAs<T>(userDefaults()->value(key_))) {}
    const std::optional<T>& value() const { return value_; }
    void setValue(std::optional<T> value) {
        value_ = std::move(value);
        if (value_)
            userDefaults()->setValue(key_, *value_);
        else
            userDefaults()->remove(key_);
    }

private:
    QString key_;
    std::optional<T> value_;
};

/// An enumeration under `key`, stored as its raw name.
template <typename E> class UserDefaultEnum {
public:
    using FromRaw = std::function<std::optional<E>(std::string_view)>;
    using ToRaw = std::function<std::string(E)>;
    UserDefaultEnum(QString key, E fallback, FromRaw fromRaw, ToRaw toRaw)
        : key_(std::move(key)), value_(fallback), toRaw_(std::move(toRaw)) {
        const QVariant stored = userDefaults()->value(key_);
        if (stored.metaType().id() == QMetaType::QString)
            if (auto named = fromRaw(stored.toString().toStdString())) value_ = *named;
    }
    E value() const { return value_; }
    void setValue(E value) {
        value_ = value;
        userDefaults()->setValue(key_, QString::fromStdString(toRaw_(value_)));
    }

private:
    QString key_;
    E value_;
    ToRaw toRaw_;
};

} // namespace tessera
