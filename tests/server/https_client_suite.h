// Tests of https base URLs that any http_client, and the updater on top of
// it, must pass against real TLS servers: nginx and the misbehaving test
// server, started by scripts/with-tls-server.sh with throwaway certificates
// (see there for the servers and their environment). A test folder
// instantiates them for its client with a traits type:
//
//   using client = ...;  // an http_client
//   // Makes `client` trust the test CA (a PEM file) for the life of the
//   // object, before any session is opened.
//   struct trust { trust(client&, const std::string& ca_file); };
//   static bool is_certificate_error(uint32_t error);  // untrusted, or another name
//   static constexpr uint32_t downgrade_error;         // redirect https -> http
//
//   INSTANTIATE_TYPED_TEST_SUITE_P(name, https_client_suite, my_traits);
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "server/http_client_suite.h"

namespace tamber::test {

// The TLS servers of scripts/with-tls-server.sh.
struct tls_servers {
    static bool available() { return !environment("TAMBER_TLS_URL").empty(); }
    static std::string ca_file() { return server_path(environment("TAMBER_TLS_CA")).string(); }
    static std::filesystem::path root() { return server_path(environment("TAMBER_TLS_ROOT")); }
    static std::string good_url() { return environment("TAMBER_TLS_URL"); }
    static std::string other_name_url() { return environment("TAMBER_TLS_OTHER_NAME_URL"); }
    static std::string unknown_ca_url() { return environment("TAMBER_TLS_UNKNOWN_CA_URL"); }
    static std::string test_server_url() { return environment("TAMBER_TLS_TEST_SERVER_URL"); }
    static void set_test_server_rules(const std::string& json) {
        std::ofstream(server_path(environment("TAMBER_TLS_TEST_SERVER_RULES")), std::ios::binary | std::ios::trunc)
            << json;
    }
};

template <typename Traits>
class https_client_suite : public http_client_suite<Traits> {
protected:
    void SetUp() override {
        if (!tls_servers::available())
            GTEST_SKIP() << "no HTTPS test servers: run through scripts/with-tls-server.sh (ctest does that), "
                            "which needs nginx and openssl";
        trusted = std::make_unique<typename Traits::trust>(this->client, tls_servers::ca_file());
        http_client_suite<Traits>::SetUp();
        // A folder of the served root of its own.
        std::random_device seed;
        folder = "t" + std::to_string(seed() % 100000000);
        std::filesystem::create_directories(tls_servers::root() / folder);
    }
    void TearDown() override {
        if (!tls_servers::available()) return;
        tls_servers::set_test_server_rules("{}");
        std::error_code ignored;
        if (!folder.empty()) std::filesystem::remove_all(tls_servers::root() / folder, ignored);
        http_client_suite<Traits>::TearDown();
    }

    void write(const std::string& name, const std::string& bytes) {
        const auto file = tls_servers::root() / folder / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    }
    // The folder's base URL on a server of `base_url`.
    std::string url(const std::string& base_url) const { return base_url + folder + "/"; }

    // A whole update from `base_url`'s folder (run_whole_update).
    uint32_t run_update(updater& up, const std::string& base_url) { return run_whole_update(up, url(base_url)); }

    std::unique_ptr<typename Traits::trust> trusted;
    std::string folder;
};

TYPED_TEST_SUITE_P(https_client_suite);

TYPED_TEST_P(https_client_suite, a_certificate_for_the_name_from_a_trusted_ca_serves_the_file) {
    const std::string body = pattern_bytes(70000, 7);
    this->write("a.bin", body);
    const fetch_result r = this->fetch(this->url(tls_servers::good_url()) + "a.bin");
    ASSERT_TRUE(r.opened) << r.open_error;
    EXPECT_EQ(r.status, 200u);
    EXPECT_EQ(r.length, body.size());
    EXPECT_FALSE(r.read_failed) << r.read_error;
    EXPECT_TRUE(r.body == body);
}

TYPED_TEST_P(https_client_suite, a_certificate_for_another_name_or_from_an_unknown_ca_fails_the_open) {
    this->write("a.bin", "chips");
    for (const std::string& base : {tls_servers::other_name_url(), tls_servers::unknown_ca_url()}) {
        SCOPED_TRACE(base);
        const fetch_result r = this->fetch(this->url(base) + "a.bin");
        EXPECT_FALSE(r.opened);
        EXPECT_TRUE(TypeParam::is_certificate_error(r.open_error)) << r.open_error;
        EXPECT_TRUE(r.body.empty());
    }
    // The same session still reaches a server whose certificate checks out.
    EXPECT_EQ(this->fetch(this->url(tls_servers::good_url()) + "a.bin").body, "chips");
}

TYPED_TEST_P(https_client_suite, redirects_stay_on_https) {
    this->write("a.bin", "chips");
    const std::string plain = live_server::url() + "__gen/5/x";  // would be a 200 if followed
    tls_servers::set_test_server_rules(R"({"/down": {"redirect": [302, ")" + plain + R"("]},)"
                                       R"( "/within": {"redirect": [301, "/)" + this->folder + R"(/a.bin"]}})");
    const fetch_result down = this->fetch(tls_servers::test_server_url() + "down");
    EXPECT_FALSE(down.opened) << down.status;
    EXPECT_EQ(down.open_error, TypeParam::downgrade_error);
    EXPECT_TRUE(live_server::requests().empty());  // the plain server was never asked
    const fetch_result within = this->fetch(tls_servers::test_server_url() + "within");
    ASSERT_TRUE(within.opened) << within.open_error;
    EXPECT_EQ(within.status, 200u);
    EXPECT_EQ(within.body, "chips");
}

TYPED_TEST_P(https_client_suite, the_updater_downloads_over_https_and_a_bad_certificate_fails_the_list) {
    scratch_store store;
    fixed_log_clock clock;
    const std::string dll = pattern_bytes(100, 1);
    const std::string big = pattern_bytes(65537, 3);
    this->write(".pm_file_list", catalogue_line("tblobby.dll", dll) + catalogue_line("data/big.bin", big));
    this->write(".tb_file_list", "tblobby.dll: +data/\n");
    this->write("tblobby.dll", dll);
    this->write("data/big.bin", big);
    {
        updater up(this->client);
        EXPECT_EQ(this->run_update(up, tls_servers::good_url()), complete);
        EXPECT_EQ(read_file("tblobby.dll"), dll);
        EXPECT_TRUE(read_file("data/big.bin") == big);
        EXPECT_TRUE(log_lines().empty());
    }
    for (const std::string& base : {tls_servers::other_name_url(), tls_servers::unknown_ca_url()}) {
        SCOPED_TRACE(base);
        std::filesystem::remove_all("data");
        std::filesystem::remove("tblobby.dll");
        std::filesystem::remove("download.log");
        updater up(this->client);
        EXPECT_EQ(this->run_update(up, base), failed_open);
        const auto lines = log_lines();
        ASSERT_EQ(lines.size(), 1u);
        const std::string prefix = "Cannot open '" + this->url(base) + ".pm_file_list': error ";
        const std::string line = lines[0].substr(std::string(fixed_log_clock::stamp).size());
        ASSERT_EQ(line.substr(0, prefix.size()), prefix) << line;
        const std::string code = line.substr(prefix.size());
        EXPECT_TRUE(TypeParam::is_certificate_error(static_cast<uint32_t>(std::stoul(code)))) << line;
        EXPECT_FALSE(std::filesystem::exists("tblobby.dll"));
        EXPECT_FALSE(std::filesystem::exists("data"));
    }
}

REGISTER_TYPED_TEST_SUITE_P(https_client_suite, a_certificate_for_the_name_from_a_trusted_ca_serves_the_file,
                            a_certificate_for_another_name_or_from_an_unknown_ca_fails_the_open,
                            redirects_stay_on_https,
                            the_updater_downloads_over_https_and_a_bad_certificate_fails_the_list);

}  // namespace tamber::test
