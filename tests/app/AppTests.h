// The app's test classes, each registered once by name so that CI runs each on its own.
#pragma once

#include <QObject>
#include <QTest>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace tessera::testing {

using AppTestFactory = std::function<std::unique_ptr<QObject>()>;
std::vector<std::pair<const char*, AppTestFactory>>& appTests();

template <typename Test> struct RegisterAppTest {
    explicit RegisterAppTest(const char* name) {
        appTests().emplace_back(name, [] { return std::make_unique<Test>(); });
    }
};

} // namespace tessera::testing
