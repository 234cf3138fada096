// Tokenizing, preprocessing and include flattening of 64 KiB of cart code.
#include <benchmark/benchmark.h>

#include <string>

#include "lang/includes.h"
#include "lang/preprocess.h"
#include "lang/tokenizer.h"

namespace {

// A piece of game code in the style carts are written in, shorthand included.
constexpr const char* cart_piece = R"(-- actors
actors = {}
function make_actor(k, x, y)
  local a = {k=k, x=x, y=y, dx=0, dy=0, frame=0, t=0, w=0.4, h=0.4}
  add(actors, a)
  return a
end

function move_actor(a)
  if (not solid_area(a.x + a.dx, a.y, a.w, a.h)) a.x += a.dx
  if (not solid_area(a.x, a.y + a.dy, a.w, a.h)) then
    a.y += a.dy
  else
    a.dy *= -0.5 // bounce
  end
  a.dx *= 0.9
  a.frame += abs(a.dx) * 4
  a.t += 1
  if a.frame != flr(a.frame) and a.k == 2 then a.frame -= 0.5 end
end

function solid_area(x, y, w, h)
  return solid(x-w, y-h) or solid(x+w, y-h) or solid(x-w, y+h) or solid(x+w, y+h)
end

--[[ drawing
  everything below draws
]]
function _draw()
  cls()
  map(0, 0, 0, 0, 16, 16)
  for a in all(actors) do
    local sx, sy = a.x * 8 - 4, a.y * 8 - 4
    spr(a.k + a.frame % 2, sx, sy)
  end
  ?"score: "..score, 1, 1, 7
  print("lives "..lives, 90, 1, 8)
  local msg = "press \"x\" != 'o' += 1"
  if (t % 30 < 15) print(msg, 20, 60, 10)
end

)";

std::string make_cart(size_t bytes) {
    std::string code;
    while (code.size() < bytes) code += cart_piece;
    code.resize(bytes);
    return code;
}

const std::string& cart_64k() {
    static const std::string code = make_cart(64 * 1024);
    return code;
}

void BM_CountTokens(benchmark::State& state) {
    const std::string& code = cart_64k();
    int32_t tokens = 0;
    for (auto _ : state) {
        tokens = count_tokens(code.c_str());
        benchmark::DoNotOptimize(tokens);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * code.size()));
    state.counters["tokens"] = tokens;
}
BENCHMARK(BM_CountTokens)->Unit(benchmark::kMillisecond);

void BM_Preprocess(benchmark::State& state) {
    const std::string& code = cart_64k();
    size_t out_size = 0;
    for (auto _ : state) {
        std::string out = mivo3_preprocess(code);
        out_size = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * code.size()));
    state.counters["out_bytes"] = static_cast<double>(out_size);
}
BENCHMARK(BM_Preprocess)->Unit(benchmark::kMillisecond);

void BM_FlattenWithoutIncludes(benchmark::State& state) {
    const std::string& code = cart_64k();
    std::string out;
    for (auto _ : state) {
        mivo3_flatten_includes(code, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * code.size()));
}
BENCHMARK(BM_FlattenWithoutIncludes)->Unit(benchmark::kMillisecond);

// The worst line for the preprocessor: 64 KiB of compound assignments.
void BM_PreprocessOneLineOfAssignments(benchmark::State& state) {
    std::string code;
    while (code.size() < 64 * 1024) code += "a.b[i]+=1 ";
    for (auto _ : state) {
        std::string out = mivo3_preprocess(code);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * code.size()));
}
BENCHMARK(BM_PreprocessOneLineOfAssignments)->Unit(benchmark::kMillisecond);

}  // namespace
