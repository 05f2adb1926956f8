// The whole-file gateways through the stand-in host, so that valgrind and
// the sanitizers reach them too.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "op4_writer.h"
#include "plugin.h"

using namespace op4;

namespace {

const Plugin &zorvane_dir()
{
    static Plugin plugin(ZORVANE_DIR_STANDIN_PLUGIN);
    return plugin;
}

const Plugin &zorvane_load()
{
    static Plugin plugin(ZORVANE_LOAD_STANDIN_PLUGIN);
    return plugin;
}

const Plugin &zorvane_save()
{
    static Plugin plugin(ZORVANE_SAVE_STANDIN_PLUGIN);
    return plugin;
}

mxArray *names(std::vector<const char *> list)
{
    std::vector<mxArray *> elements;
    for (const char *n : list)
        elements.push_back(standin_create_string(n));
    return standin_create_cell(elements.size(), elements.data());
}

std::string field_text(const mxArray *s, mwIndex k, const char *field)
{
    const mxArray *a = mxGetField(s, k, field);
    return std::string(static_cast<const char *>(mxGetData(a)), mxGetN(a));
}

} // namespace

TEST(WholeFileGateways, AnEmptySelectorIsRefusedBeforeItIsRead)
{
    TempFile file(header(1, 1, 1, 2, "K") + column(1, 1, doubles({2})) + column(2, 1, doubles({0})));
    const Plugin &load = zorvane_load();
    ASSERT_TRUE(load.loaded());
    CallResult r;
    load.call(&r, 1, {standin_create_string(file.path.c_str()), names({"K"}), mxCreateSparse(1, 0, 0, mxREAL)});
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.identifier, "MATLAB:zorvane_load:NotScalar");
}

TEST(WholeFileGateways, DirLoadAndSaveAgree)
{
    TempFile file(header(2, 3, 1, 2, "KAA") + column(1, 1, doubles({1, 0, 3})) + column(3, 1, doubles({0})) +
                  header(1, 2, 1, 1, "MAA") + column(1, 2, Words{single_word(5)}) + column(2, 1, Words{0}));
    CallResult dir;
    zorvane_dir().call(&dir, 1, {standin_create_string(file.path.c_str())});
    ASSERT_FALSE(dir.failed) << dir.message;
    ASSERT_EQ(mxGetNumberOfElements(dir.outputs[0]), 2u);
    EXPECT_EQ(field_text(dir.outputs[0], 1, "name"), "MAA");
    EXPECT_EQ(field_text(dir.outputs[0], 0, "encoding"), "dense");
    // Every matrix with selector 1, through an empty list of names.
    CallResult all;
    zorvane_load()
        .call(&all, 1, {standin_create_string(file.path.c_str()), names({}), standin_create_scalar(1)});
    ASSERT_FALSE(all.failed) << all.message;
    ASSERT_EQ(mxGetNumberOfElements(all.outputs[0]), 2u);
    const mxArray *kaa = mxGetField(all.outputs[0], 0, "matrix");
    EXPECT_EQ(mxGetJc(kaa)[1], 1) << "row 3 of column 1 lies below the diagonal";
    // What zorvane_load returns, saved again, gives the same bytes.
    std::string again = file.path + ".again";
    CallResult save;
    CallResult loaded;
    zorvane_load().call(&loaded, 1, {standin_create_string(file.path.c_str())});
    ASSERT_FALSE(loaded.failed) << loaded.message;
    mxArray *s = loaded.outputs[0];
    loaded.outputs.clear();
    zorvane_save()
        .call(&save, 0, {standin_create_string(again.c_str()), s, standin_create_string("encoding"),
                         standin_create_string("dense")});
    ASSERT_FALSE(save.failed) << save.message;
    FILE *f = fopen(again.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::string bytes(4096, '\0');
    bytes.resize(fread(&bytes[0], 1, bytes.size(), f));
    fclose(f);
    unlink(again.c_str());
    EXPECT_EQ(bytes, header(2, 3, 1, 2, "KAA") + column(1, 1, doubles({1, 0, 3})) + column(3, 1, doubles({0})) +
                         header(1, 2, 1, 1, "MAA") + column(1, 2, Words{single_word(5)}) + column(2, 1, Words{0}));
}
