// A fresh folder under the test's working directory, removed with its
// contents when the test ends. Its name is relative, as store names are.
#pragma once

#include <filesystem>
#include <random>
#include <string>

namespace tamber {

class temp_folder {
public:
    explicit temp_folder(const std::string& purpose) {
        std::random_device seed;
        for (;;) {
            name_ = "update_lists_" + purpose + "_" + std::to_string(seed() % 1000000);
            std::error_code error;
            // False without an error: the name is taken, try another.
            if (std::filesystem::create_directory(name_, error) || error) break;
        }
    }
    ~temp_folder() {
        std::error_code error;
        std::filesystem::remove_all(name_, error);
    }
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;

    const std::string& name() const { return name_; }

private:
    std::string name_;
};

}  // namespace tamber
