// Access to the test server that scripts/with-test-server.sh starts around a
// test executable: its URL, the folder it serves, its rules file and its
// request log.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace tamber::test {

inline std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// A path the server printed (a Unix path) as this process sees it: under
// Wine the Unix root is drive Z:.
inline std::filesystem::path server_path(const std::string& unix_path) {
#if defined(_WIN32)
    if (!unix_path.empty() && unix_path[0] == '/') return std::filesystem::path("Z:" + unix_path);
#endif
    return std::filesystem::path(unix_path);
}

struct request_record {
    std::string method, path, user_agent, cache_control, pragma, cookie;
    // The connections open as the request came that had carried a request
    // for the same first path segment (a test folder), this one included.
    unsigned connections = 0;
};

class live_server {
public:
    static bool available() { return !environment("TAMBER_TEST_URL").empty(); }
    static std::string url() { return environment("TAMBER_TEST_URL"); }  // ends in '/'
    static std::filesystem::path root() { return server_path(environment("TAMBER_TEST_ROOT")); }

    static std::vector<request_record> requests() {
        std::vector<request_record> records;
        std::ifstream in(server_path(environment("TAMBER_TEST_REQUEST_LOG")));
        std::string line;
        while (std::getline(in, line)) {
            std::vector<std::string> fields;
            std::size_t start = 0;
            for (;;) {
                const std::size_t tab = line.find('\t', start);
                fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
                if (tab == std::string::npos) break;
                start = tab + 1;
            }
            fields.resize(7);
            records.push_back({fields[0], fields[1], fields[2], fields[3], fields[4], fields[5],
                               static_cast<unsigned>(std::strtoul(fields[6].c_str(), nullptr, 10))});
        }
        return records;
    }
    static std::vector<std::string> request_paths() {
        std::vector<std::string> paths;
        for (const auto& r : requests()) paths.push_back(r.path);
        return paths;
    }
    static void clear_requests() {
        std::ofstream(server_path(environment("TAMBER_TEST_REQUEST_LOG")), std::ios::trunc);
    }

    // The rules file: a JSON object from request path to directives.
    static void set_rules(const std::string& json) {
        std::ofstream(root() / ".rules.json", std::ios::binary | std::ios::trunc) << json;
    }
    static void clear_rules() {
        std::error_code ignored;
        std::filesystem::remove(root() / ".rules.json", ignored);
    }
};

// A fresh folder of the served root, for one test's files; removed with the
// rules file when the test ends.
class served_folder {
public:
    served_folder() {
        std::random_device seed;
        for (;;) {
            name_ = "t" + std::to_string(seed() % 100000000);
            std::error_code error;
            if (std::filesystem::create_directory(live_server::root() / name_, error) || error) break;
        }
        live_server::clear_requests();
    }
    ~served_folder() {
        std::error_code ignored;
        std::filesystem::remove_all(live_server::root() / name_, ignored);
        live_server::clear_rules();
    }
    served_folder(const served_folder&) = delete;
    served_folder& operator=(const served_folder&) = delete;

    // "/tNNN/" + name: the path the server sees.
    std::string path(const std::string& name = "") const { return "/" + name_ + "/" + name; }
    // The base URL of the folder, ending in '/'.
    std::string url() const { return live_server::url() + name_ + "/"; }

    void write(const std::string& name, const std::string& bytes) const {
        const auto file = live_server::root() / name_ / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    }

private:
    std::string name_;
};

// The bytes of the server's /__gen/N/ bodies: byte i is i % 251.
inline std::string generated_bytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

}  // namespace tamber::test

#define TAMBER_REQUIRE_LIVE_SERVER()                                                                    \
    do {                                                                                                \
        if (!::tamber::test::live_server::available())                                                  \
            GTEST_SKIP() << "no test server: run through scripts/with-test-server.sh (ctest does that)"; \
    } while (0)
