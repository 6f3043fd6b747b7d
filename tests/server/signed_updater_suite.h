// The updater of a signed host over a real client and verifier, against the
// real test server, on the signed fixture of tests/keys. A test folder
// instantiates it with a traits type:
//
//   struct my_traits {
//       using client = ...;    // an http_client
//       using verifier = ...;  // a signature_verifier
//   };
//   INSTANTIATE_TYPED_TEST_SUITE_P(name, signed_updater_suite, my_traits);
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "keys/signed_fixture.h"
#include "server/live_server.h"
#include "update/release.h"
#include "update/update_test_support.h"
#include "update/updater.h"

namespace tamber::test {

template <typename Traits>
class signed_updater_suite : public ::testing::Test {
protected:
    void SetUp() override {
        TAMBER_REQUIRE_LIVE_SERVER();
        publish();
    }

    void publish() {
        using namespace signed_fixture;
        folder.write(".tb_release", statement);
        folder.write(".pm_file_list", catalogue);
        folder.write(".tb_file_list", dependencies);
        folder.write(library_name, pattern_bytes(3000, 9));
        folder.write(image_name, pattern_bytes(500, 10));
    }

    // A whole update of "tblobby.dll", one step per millisecond at most, as
    // frames would; returns the final state.
    uint32_t run(updater& up) {
        up.set_base_url(folder.url());
        up.start(signed_fixture::library_name);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (up.state() >= fetching_catalogue && up.state() <= downloading && std::chrono::steady_clock::now() < end) {
            up.step();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return up.state();
    }

    std::vector<std::string> paths(std::initializer_list<const char*> names) const {
        std::vector<std::string> out;
        for (const char* name : names) out.push_back(folder.path(name));
        return out;
    }

    scratch_store store;
    fixed_log_clock clock;
    served_folder folder;
    typename Traits::client client;
    typename Traits::verifier verifier;
    signed_releases releases{verifier, key_set{1, {signed_fixture::content_key}}};
};

TYPED_TEST_SUITE_P(signed_updater_suite);

TYPED_TEST_P(signed_updater_suite, a_signed_release_downloads_after_its_statement) {
    updater up(this->client);
    up.set_release_check(&this->releases);
    EXPECT_EQ(this->run(up), complete);
    EXPECT_EQ(read_file("tblobby.dll"), pattern_bytes(3000, 9));
    EXPECT_EQ(read_file("data/a.png"), pattern_bytes(500, 10));
    EXPECT_EQ(live_server::request_paths(),
              this->paths({".tb_release", ".pm_file_list", ".tb_file_list", "data/a.png", "tblobby.dll"}));
    EXPECT_TRUE(log_lines().empty());
    EXPECT_TRUE(read_file(accepted_release_name));
}

TYPED_TEST_P(signed_updater_suite, an_unsigned_host_requests_no_statement) {
    updater up(this->client);
    EXPECT_EQ(this->run(up), complete);
    EXPECT_EQ(live_server::request_paths(),
              this->paths({".pm_file_list", ".tb_file_list", "data/a.png", "tblobby.dll"}));
    EXPECT_TRUE(log_lines().empty());
}

TYPED_TEST_P(signed_updater_suite, each_forgery_is_refused_with_one_line_and_downloads_nothing) {
    using namespace signed_fixture;
    const std::string statement_url = this->folder.url() + ".tb_release";
    const std::string catalogue_url = this->folder.url() + ".pm_file_list";
    std::string changed_statement = statement;
    changed_statement[statement.find("2099")] = '3';
    struct row {
        const char* what;
        std::string file;
        std::string bytes;  // written over the file; "-" removes it
        std::string line;
    };
    const row rows[] = {
        {"statement changed by one byte", ".tb_release", changed_statement,
         "'" + statement_url + "': a signature does not verify: 0 valid of 1 needed"},
        {"signed with another key", ".tb_release", statement_other_key,
         "'" + statement_url + "': too few signatures: 0 valid of 1 needed"},
        {"a list as the statement", ".tb_release", catalogue,
         "'" + statement_url + "': release statement unreadable: line 1: not a 'tamber-release' header"},
        {"statement missing", ".tb_release", "-", "Cannot open '" + statement_url + "': HTTP status 404"},
        {"the dependency list as the catalogue", ".pm_file_list", dependencies,
         "'" + catalogue_url + "': size differs from the release statement: " + std::to_string(catalogue.size()) +
             " bytes listed, " + std::to_string(dependencies.size()) + " downloaded"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        this->publish();
        if (r.bytes == "-")
            std::filesystem::remove(live_server::root() / this->folder.path(r.file).substr(1));
        else
            this->folder.write(r.file, r.bytes);
        live_server::clear_requests();
        std::filesystem::remove("download.log");

        updater up(this->client);
        up.set_release_check(&this->releases);
        EXPECT_GE(this->run(up), failed_http_status);
        EXPECT_EQ(up.current_name(), r.file);
        const auto lines = log_lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].substr(std::string(fixed_log_clock::stamp).size()), r.line);
        // Nothing past the lists was requested, and no file written.
        for (const std::string& path : live_server::request_paths())
            EXPECT_TRUE(path.find("file_list") != std::string::npos || path.find(".tb_release") != std::string::npos)
                << path;
        EXPECT_FALSE(std::filesystem::exists("tblobby.dll"));
        EXPECT_FALSE(std::filesystem::exists("data/a.png"));
    }
}

REGISTER_TYPED_TEST_SUITE_P(signed_updater_suite, a_signed_release_downloads_after_its_statement,
                            an_unsigned_host_requests_no_statement,
                            each_forgery_is_refused_with_one_line_and_downloads_nothing);

}  // namespace tamber::test
