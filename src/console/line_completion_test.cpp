#include "console/line_completion.h"

#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

constexpr const char *WORDS[] = {"open", "load", "list", "ls", "quit", nullptr};

const char *word_at(size_t index) {
    return WORDS[index];
}

// complete_answer's array as texts, or nothing for null.
std::optional<std::vector<std::string>> completions(const std::string &text,
                                                    completion_words words) {
    char **list = complete_answer(text.c_str(), words);
    if (list == nullptr)
        return std::nullopt;
    std::vector<std::string> texts;
    for (char **item = list; *item != nullptr; ++item)
        texts.emplace_back(*item);
    free_completions(list);
    return texts;
}

using texts = std::vector<std::string>;

TEST(LineCompletionTest, CommandWordsThenFileNames) {
    temp_dir dir;
    const std::string d = dir.path;
    for (const char *name : {"alpha.mod", "alpine.xm", "beta song.it", ".hidden"})
        ASSERT_TRUE(write_file(dir.file(name), "x"));
    std::filesystem::create_directory(dir.file("docs"));
    std::filesystem::create_directory_symlink(dir.file("docs"), dir.file("link"));

    struct completion_case {
        std::string text;
        completion_words words;
        std::optional<texts> expected;
    } cases[] = {
        {"", word_at, texts{"", "list", "load", "ls", "open", "quit"}},
        {"l", word_at, texts{"l", "list", "load", "ls"}},
        {"li", word_at, texts{"list "}},
        {"x", word_at, std::nullopt},
        {" op", word_at, std::nullopt}, // a leading blank makes no command word
        {"open " + d + "/al", word_at, texts{"open " + d + "/alp", "alpha.mod", "alpine.xm"}},
        {"open\t  " + d + "/beta", word_at, texts{"open\t  " + d + "/beta song.it "}},
        {"load " + d + "/do", word_at, texts{"load " + d + "/docs/"}},
        {"load " + d + "/li", word_at, texts{"load " + d + "/link/"}},
        {"open " + d + "/.h", word_at, texts{"open " + d + "/.hidden "}},
        {"open " + d + "/", word_at,
         texts{"open " + d + "/", "alpha.mod", "alpine.xm", "beta song.it", "docs/", "link/"}},
        {"open " + d + "/zz", word_at, std::nullopt},
        {"open " + d + "/none/a", word_at, std::nullopt},
        {d + "/beta", nullptr, texts{d + "/beta song.it"}}, // a file name question: no blank
        {d + "/do", nullptr, texts{d + "/docs/"}},
        {d + "/a", nullptr, texts{d + "/alp", "alpha.mod", "alpine.xm"}},
    };
    for (const completion_case &c : cases)
        EXPECT_EQ(completions(c.text, c.words), c.expected) << "text: " << c.text;
}

TEST(LineCompletionTest, NamesWithoutADirectoryAreInTheCurrentOne) {
    temp_dir dir;
    ASSERT_TRUE(write_file(dir.file("song.xm"), "x"));
    std::string previous = std::filesystem::current_path();
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    auto in_shell = completions("open so", word_at);
    auto asked = completions("s", nullptr);
    ASSERT_EQ(chdir(previous.c_str()), 0);
    EXPECT_EQ(in_shell, texts{"open song.xm "});
    EXPECT_EQ(asked, texts{"song.xm"});
}

} // namespace
