// Cart storage formats: compressing and decompressing 64 KiB of cart Lua,
// building and loading 32 KiB cart images and PNG cart pictures, writing and
// reading text carts.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "storage/cart.h"
#include "storage/cart_image.h"
#include "storage/compress.h"
#include "storage/text_cart.h"
#include "tests/storage/cart_corpus.h"

namespace {

const std::string& code64k()
{
    static const std::string code = cart_corpus::lua_code(2024, 65535);
    return code;
}

struct cart_holder {
    mivo3_cart* cart = quon_create_mivo3_cart();
    cart_holder()
    {
        mivo3_cart_release_hook = nullptr;
        // As much code as the cart image holds: about 40 KiB of cart Lua.
        cart_corpus::fill_random(cart, 7, code64k().substr(0, 40000), true);
    }
    ~cart_holder() { quon_destroy_mivo3_cart(cart); }
};

void BM_compress_mini_64k(benchmark::State& state)
{
    const std::string& code = code64k();
    std::vector<uint8_t> out(static_cast<size_t>(compress_mini_bound(int32_t(code.size()))));
    int32_t size = 0;
    for (auto _ : state) {
        size = compress_mini(code.data(), out.data(), int32_t(code.size()));
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes_out"] = size;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(code.size()));
}
BENCHMARK(BM_compress_mini_64k)->Unit(benchmark::kMillisecond);

void BM_decompress_mini_64k(benchmark::State& state)
{
    const std::string& code = code64k();
    std::vector<uint8_t> packed(static_cast<size_t>(compress_mini_bound(int32_t(code.size()))));
    packed.resize(size_t(compress_mini(code.data(), packed.data(), int32_t(code.size()))));
    std::vector<char> out(65538);
    for (auto _ : state) {
        benchmark::DoNotOptimize(decompress_mini(packed.data(), int32_t(packed.size()), out.data(), 65537));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(code.size()));
}
BENCHMARK(BM_decompress_mini_64k)->Unit(benchmark::kMicrosecond);

void BM_cart_image_save(benchmark::State& state)
{
    cart_holder h;
    std::vector<uint8_t> block(MIVO3_CART_IMAGE_SIZE);
    for (auto _ : state)
        benchmark::DoNotOptimize(save_mivo3_cart_32k(h.cart, block.data()));
}
BENCHMARK(BM_cart_image_save)->Unit(benchmark::kMillisecond);

void BM_cart_image_load(benchmark::State& state)
{
    cart_holder h;
    std::vector<uint8_t> block(MIVO3_CART_IMAGE_SIZE);
    save_mivo3_cart_32k(h.cart, block.data());
    mivo3_cart* into = quon_create_mivo3_cart();
    for (auto _ : state)
        benchmark::DoNotOptimize(load_mivo3_cart_32k(into, block.data()));
    quon_destroy_mivo3_cart(into);
}
BENCHMARK(BM_cart_image_load)->Unit(benchmark::kMicrosecond);

void BM_png_cart_save(benchmark::State& state)
{
    cart_holder h;
    std::vector<uint8_t> png;
    for (auto _ : state)
        benchmark::DoNotOptimize(encode_mivo3_cart_png(h.cart, png));
    state.counters["png_bytes"] = double(png.size());
}
BENCHMARK(BM_png_cart_save)->Unit(benchmark::kMillisecond);

void BM_png_cart_load(benchmark::State& state)
{
    cart_holder h;
    std::vector<uint8_t> png;
    encode_mivo3_cart_png(h.cart, png);
    for (auto _ : state)
        quon_destroy_mivo3_cart(load_mivo3_cart_png_from_memory(png.data(), int64_t(png.size())));
}
BENCHMARK(BM_png_cart_load)->Unit(benchmark::kMillisecond);

void BM_text_cart_write(benchmark::State& state)
{
    cart_holder h;
    for (auto _ : state)
        benchmark::DoNotOptimize(mivo3_cart_to_text(h.cart));
}
BENCHMARK(BM_text_cart_write)->Unit(benchmark::kMicrosecond);

void BM_text_cart_read(benchmark::State& state)
{
    cart_holder h;
    const std::string text = mivo3_cart_to_text(h.cart);
    for (auto _ : state)
        quon_destroy_mivo3_cart(quon_load_mivo3_cart_from_text(text));
}
BENCHMARK(BM_text_cart_read)->Unit(benchmark::kMicrosecond);

}  // namespace
