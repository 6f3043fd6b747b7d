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
#include "update/signature.h"
#include "update/update_test_support.h"
#include "update/updater.h"

namespace tamber::test {

template <typename Traits>
class signed_updater_suite : public ::testing::Test {
protected:
    void SetUp() override {
        TAMBER_REQUIRE_LIVE_SERVER();
        using namespace signed_fixture;
        folder.write(".pm_file_list", catalogue);
        folder.write(".pm_file_list.sig", catalogue_signature);
        folder.write(".tb_file_list", dependencies);
        folder.write(".tb_file_list.sig", dependencies_signature);
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
    content_key_signatures signatures{verifier, signed_fixture::content_key};
};

TYPED_TEST_SUITE_P(signed_updater_suite);

TYPED_TEST_P(signed_updater_suite, a_signed_set_downloads_after_both_signatures) {
    updater up(this->client);
    up.set_list_signatures(&this->signatures);
    EXPECT_EQ(this->run(up), complete);
    EXPECT_EQ(read_file("tblobby.dll"), pattern_bytes(3000, 9));
    EXPECT_EQ(read_file("data/a.png"), pattern_bytes(500, 10));
    EXPECT_EQ(live_server::request_paths(),
              this->paths({".pm_file_list", ".pm_file_list.sig", ".tb_file_list", ".tb_file_list.sig", "data/a.png",
                           "tblobby.dll"}));
    EXPECT_TRUE(log_lines().empty());
}

TYPED_TEST_P(signed_updater_suite, an_unsigned_host_ignores_the_signatures) {
    updater up(this->client);
    EXPECT_EQ(this->run(up), complete);
    EXPECT_EQ(live_server::request_paths(),
              this->paths({".pm_file_list", ".tb_file_list", "data/a.png", "tblobby.dll"}));
    EXPECT_TRUE(log_lines().empty());
}

TYPED_TEST_P(signed_updater_suite, each_bad_signature_refuses_its_list_with_one_line_and_downloads_nothing) {
    using namespace signed_fixture;
    const std::string catalogue_url = this->folder.url() + ".pm_file_list";
    const std::string dependencies_url = this->folder.url() + ".tb_file_list";
    std::string changed_catalogue = catalogue;
    changed_catalogue[catalogue.size() / 2] = static_cast<char>(changed_catalogue[catalogue.size() / 2] ^ 1);
    std::string changed_dependencies = dependencies;
    changed_dependencies.back() = ' ';
    struct row {
        const char* what;
        std::string file;
        std::string bytes;  // written over the file; "-" removes it
        std::string list;   // the list refused
        std::string line;
    };
    const std::string does_not_verify = "': signature does not verify";
    const row rows[] = {
        {"catalogue changed by one byte", ".pm_file_list", changed_catalogue, ".pm_file_list",
         "'" + catalogue_url + does_not_verify},
        {"dependency list changed by one byte", ".tb_file_list", changed_dependencies, ".tb_file_list",
         "'" + dependencies_url + does_not_verify},
        {"signed with another key", ".pm_file_list.sig", catalogue_signature_other_key, ".pm_file_list",
         "'" + catalogue_url + does_not_verify},
        {"signature truncated", ".pm_file_list.sig", catalogue_signature.substr(0, catalogue_signature.size() - 1),
         ".pm_file_list", "'" + catalogue_url + does_not_verify},
        {"empty signature", ".tb_file_list.sig", "", ".tb_file_list", "'" + dependencies_url + does_not_verify},
        {"the other list's signature", ".tb_file_list.sig", catalogue_signature, ".tb_file_list",
         "'" + dependencies_url + does_not_verify},
        {"catalogue signature missing", ".pm_file_list.sig", "-", ".pm_file_list",
         "'" + catalogue_url + "': signature is missing (HTTP status 404)"},
        {"dependency signature missing", ".tb_file_list.sig", "-", ".tb_file_list",
         "'" + dependencies_url + "': signature is missing (HTTP status 404)"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        this->folder.write(".pm_file_list", catalogue);
        this->folder.write(".pm_file_list.sig", catalogue_signature);
        this->folder.write(".tb_file_list", dependencies);
        this->folder.write(".tb_file_list.sig", dependencies_signature);
        if (r.bytes == "-")
            std::filesystem::remove(live_server::root() / this->folder.path(r.file).substr(1));
        else
            this->folder.write(r.file, r.bytes);
        live_server::clear_requests();
        std::filesystem::remove("download.log");

        updater up(this->client);
        up.set_list_signatures(&this->signatures);
        EXPECT_EQ(this->run(up), failed_transfer);
        EXPECT_EQ(up.current_name(), r.list);
        const auto lines = log_lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].substr(std::string(fixed_log_clock::stamp).size()), r.line);
        // Nothing past the lists was requested, and nothing written.
        for (const std::string& path : live_server::request_paths())
            EXPECT_NE(path.find("file_list"), std::string::npos) << path;
        EXPECT_FALSE(std::filesystem::exists("tblobby.dll"));
        EXPECT_FALSE(std::filesystem::exists("data/a.png"));
    }
}

REGISTER_TYPED_TEST_SUITE_P(signed_updater_suite, a_signed_set_downloads_after_both_signatures,
                            an_unsigned_host_ignores_the_signatures,
                            each_bad_signature_refuses_its_list_with_one_line_and_downloads_nothing);

}  // namespace tamber::test
