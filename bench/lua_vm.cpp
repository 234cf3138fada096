// The language VM against the stock Lua 5.2 interpreter on the same scripts:
// recursion, nested numeric loops, table reads and writes, closures, method
// calls, and what carts spend their frames on: calls with several
// arguments, string building, a sort, an update of 500 objects through
// their metatable, and all() over a table of tables. Values stay small
// integers or quarters, so both interpreters give the same result. Each
// script defines bench(); one call is one unit of work.
//
// Figures (CPU time): the dialect without a hook, the dialect under the run loop's
// metering (a count hook every 1024 instructions that yields the program
// once a frame's budget is spent, and a driver that resumes it), and
// /usr/bin/lua5.2 run as a process that times its own calls with os.clock.
// Instructions per call are counted once on the dialect with a hook on every
// instruction; the stock compiler emits the same instructions for these
// scripts, so the same count gives its instructions per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <cstdio>
#include <map>
#include <string>

#include "lang/dialect.h"
#include "machine/lua_alloc.h"

namespace {

struct vm_script {
    const char* name;
    const char* code;
};

constexpr vm_script scripts[] = {
    {"recursion",
     "local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end\n"
     "function bench() return fib(20) end\n"},
    {"loops",
     "function bench()\n"
     "  local s = 0\n"
     "  for i = 1, 300 do\n"
     "    for j = 1, 300 do s = (s + i * 3 + j) % 1000 end\n"
     "  end\n"
     "  return s\n"
     "end\n"},
    {"tables",
     "local t = {}\n"
     "function bench()\n"
     "  for i = 1, 1000 do t[i] = i end\n"
     "  local s = 0\n"
     "  for r = 1, 20 do\n"
     "    for i = 1, 1000 do local v = t[i] + 1 t[i] = v s = (s + v) % 1000 end\n"
     "  end\n"
     "  local h = {}\n"
     "  for i = 1, 1000 do h[i % 97] = (h[i % 97] or 0) + i % 13 end\n"
     "  return s + #t + h[5]\n"
     "end\n"},
    {"closures",
     "local function make(k) return function(x) return (x + k) % 1000 end end\n"
     "function bench()\n"
     "  local s = 0\n"
     "  for i = 1, 3000 do local f = make(i % 10) s = f(s) end\n"
     "  return s\n"
     "end\n"},
    {"methods",
     "local Counter = {}\n"
     "Counter.__index = Counter\n"
     "function Counter:add(d) self.v = (self.v + d) % 1000 end\n"
     "function Counter:get() return self.v end\n"
     "function bench()\n"
     "  local c = setmetatable({v = 0}, Counter)\n"
     "  for i = 1, 5000 do c:add(i % 7) end\n"
     "  return c:get()\n"
     "end\n"},
    {"calls",
     "local function mix(a, b, c, d) return (a * 3 + b - c + d) % 1000 end\n"
     "local function pick(a, b, c) if a < b then return c end return a - b end\n"
     "function bench()\n"
     "  local s = 0\n"
     "  for i = 1, 3000 do s = mix(s, i % 50, i % 7, pick(s, 500, 3)) end\n"
     "  return s\n"
     "end\n"},
    {"strings",
     "function bench()\n"
     "  local parts = {}\n"
     "  for i = 1, 200 do parts[#parts + 1] = \"x\" .. i .. \":\" .. i * 7 % 100 end\n"
     "  local out = \"\"\n"
     "  for i = 1, #parts do out = out .. parts[i] .. \",\" end\n"
     "  local line = \"\"\n"
     "  for i = 1, 100 do line = \"score: \" .. i * 3 .. \" lives: \" .. i % 4 end\n"
     "  return #out + #line\n"
     "end\n"},
    {"sort",
     "local function qsort(a, lo, hi)\n"
     "  if lo < hi then\n"
     "    local p, i = a[hi], lo - 1\n"
     "    for j = lo, hi - 1 do\n"
     "      if a[j] <= p then i = i + 1 a[i], a[j] = a[j], a[i] end\n"
     "    end\n"
     "    a[i + 1], a[hi] = a[hi], a[i + 1]\n"
     "    qsort(a, lo, i) qsort(a, i + 2, hi)\n"
     "  end\n"
     "end\n"
     "local a = {}\n"
     "function bench()\n"
     "  local x = 7\n"
     "  for i = 1, 1000 do x = (x * 13 + 11) % 1009 a[i] = x end\n"
     "  qsort(a, 1, #a)\n"
     "  return a[1] + a[500] + a[1000]\n"
     "end\n"},
    {"physics",
     "local Ball = {}\n"
     "Ball.__index = Ball\n"
     "function Ball:reset(i) self.x, self.y = i % 128, i * 7 % 128 self.dx, self.dy = i % 5 - 2, i % 3 - 1 end\n"
     "function Ball:update()\n"
     "  self.x = self.x + self.dx\n"
     "  self.y = self.y + self.dy\n"
     "  if self.x < 0 or self.x > 127 then self.dx = -self.dx end\n"
     "  if self.y < 0 or self.y > 127 then self.dy = -self.dy else self.dy = self.dy + 0.25 end\n"
     "end\n"
     "local balls = {}\n"
     "for i = 1, 500 do balls[i] = setmetatable({}, Ball) end\n"
     "function bench()\n"
     "  for i = 1, #balls do balls[i]:reset(i) end\n"
     "  for f = 1, 4 do\n"
     "    for i = 1, #balls do balls[i]:update() end\n"
     "  end\n"
     "  local s = 0\n"
     "  for i = 1, #balls do local b = balls[i] s = (s + b.x + b.y) % 1000 end\n"
     "  return s\n"
     "end\n"},
    // all() as the run loop's prelude defines it, without its refunds
    {"all",
     "function all(c) if c==nil or #c==0 then return function() end end\n"
     "  local i,li=1,nil\n"
     "  return function() if c[i]==li then i=i+1 end\n"
     "    while c[i]==nil and i<=#c do i=i+1 end\n"
     "    li=c[i] return li end end\n"
     "local items = {}\n"
     "for i = 1, 300 do items[i] = {v = i % 17, w = i % 5} end\n"
     "function bench()\n"
     "  local s = 0\n"
     "  for r = 1, 4 do\n"
     "    for it in all(items) do s = (s + it.v * it.w) % 1000 end\n"
     "  end\n"
     "  return s\n"
     "end\n"},
};

struct figures {
    double instructions = 0;  // per call
    double dialect_s = 0, hooked_s = 0, stock_s = 0;  // seconds per call
    std::string dialect_result, stock_result;
};
std::map<std::string, figures> results;

// CPU time of this thread: the stock interpreter reports os.clock (CPU
// time) too, and the machine may be shared with other work.
double cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The dialect runs with the player's allocator, as carts do.
lua_State* new_state(const vm_script& s) {
    lua_State* L = lua_newstate(mivo3_lua_alloc, nullptr);
    luaL_openlibs(L);
    lua_register(L, "setmetatable", luaB_setmetatable);
    if (luaL_loadstring(L, s.code) != LUA_OK || lua_pcall(L, 0, 0, 0) != LUA_OK) {
        std::fprintf(stderr, "%s: %s\n", s.name, lua_tostring(L, -1));
        lua_close(L);
        return nullptr;
    }
    return L;
}

// The summary keeps the fastest run of each: on a shared machine the slower
// runs measure the other work more than the interpreter.
void keep_fastest(double& kept, double seconds) {
    if (kept <= 0 || seconds < kept) kept = seconds;
}

int64_t counted = 0;
void count_every_instruction(lua_State*, lua_Debug*) { counted++; }

// The run loop's hook: 1024 cycles per call; a spent frame budget (at 30
// frames per second) yields the program.
int32_t slice_cycles = 0;
void metering_hook(lua_State* L, lua_Debug* ar) {
    if (ar->event != LUA_HOOKCOUNT) return;
    slice_cycles += 1024;
    if (slice_cycles >= 4194304 / 30) {
        slice_cycles = 0;
        lua_yield(L, 0);
    }
}

std::string call_bench(lua_State* L) {
    lua_getglobal(L, "bench");
    if (lua_pcall(L, 0, 1, 0) != LUA_OK) return std::string("error: ") + lua_tostring(L, -1);
    std::string r = lua_tostring(L, -1);
    lua_pop(L, 1);
    return r;
}

void bm_dialect(benchmark::State& state, const vm_script* s) {
    lua_State* L = new_state(*s);
    if (!L) {
        state.SkipWithError("script failed");
        return;
    }
    figures& f = results[s->name];
    counted = 0;
    lua_sethook(L, count_every_instruction, LUA_MASKCOUNT, 1);
    f.dialect_result = call_bench(L);
    lua_sethook(L, nullptr, 0, 0);
    f.instructions = static_cast<double>(counted);
    double t0 = cpu_seconds();
    for (auto _ : state) benchmark::DoNotOptimize(call_bench(L));
    keep_fastest(f.dialect_s, (cpu_seconds() - t0) / state.iterations());
    state.counters["instr/s"] =
        benchmark::Counter(f.instructions * state.iterations(), benchmark::Counter::kIsRate);
    lua_close(L);
}

void bm_dialect_metered(benchmark::State& state, const vm_script* s) {
    lua_State* L = new_state(*s);
    if (!L) {
        state.SkipWithError("script failed");
        return;
    }
    figures& f = results[s->name];
    lua_State* T = lua_newthread(L);
    lua_sethook(T, metering_hook, LUA_MASKCOUNT, 1024);
    double t0 = cpu_seconds();
    for (auto _ : state) {
        lua_getglobal(T, "bench");
        int status;
        while ((status = lua_resume(T, L, 0)) == LUA_YIELD) {}
        if (status != LUA_OK) {
            state.SkipWithError(lua_tostring(T, -1));
            break;
        }
        lua_settop(T, 0);
    }
    keep_fastest(f.hooked_s, (cpu_seconds() - t0) / state.iterations());
    state.counters["instr/s"] =
        benchmark::Counter(f.instructions * state.iterations(), benchmark::Counter::kIsRate);
    lua_close(L);
}

// Runs the stock interpreter on the script; it reports seconds per call of
// bench() and the result of the last call.
bool run_stock(const vm_script& s, int calls, double* seconds, std::string* result) {
    std::string program = std::string(s.code) +
                          "local t0 = os.clock() local r\n"
                          "for k = 1, " + std::to_string(calls) + " do r = bench() end\n"
                          "io.write(string.format('%.9f %s', (os.clock() - t0) / " +
                          std::to_string(calls) + ", tostring(r)))\n";
    std::string path = "/tmp/mivo3_bench_" + std::string(s.name) + ".lua";
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    std::fputs(program.c_str(), f);
    std::fclose(f);
    FILE* p = popen(("/usr/bin/lua5.2 " + path + " 2>&1").c_str(), "r");
    if (!p) return false;
    char line[256] = {};
    bool ok = std::fgets(line, sizeof line, p) != nullptr;
    pclose(p);
    std::remove(path.c_str());
    char value[128] = {};
    if (!ok || std::sscanf(line, "%lf %127s", seconds, value) != 2) return false;
    *result = value;
    return true;
}

void bm_stock(benchmark::State& state, const vm_script* s) {
    figures& f = results[s->name];
    // Enough calls for about a tenth of a second at stock speed.
    int calls = f.dialect_s > 0 ? static_cast<int>(0.1 / f.dialect_s) + 1 : 100;
    for (auto _ : state) {
        double seconds = 0;
        if (!run_stock(*s, calls, &seconds, &f.stock_result)) {
            state.SkipWithError("could not run /usr/bin/lua5.2");
            return;
        }
        state.SetIterationTime(seconds);
        keep_fastest(f.stock_s, seconds);
    }
    state.counters["instr/s"] =
        benchmark::Counter(f.instructions / f.stock_s, benchmark::Counter::kDefaults);
}

void print_summary() {
    std::printf("\n%-10s %10s %12s %12s %12s %9s %9s %9s %s\n", "script", "instr/call", "dialect M/s",
                "metered M/s", "stock M/s", "vs stock", "hook", "metered", "results");
    double log_ratio = 0, log_metered = 0, hook_sum = 0;
    int n = 0;
    for (const vm_script& s : scripts) {
        const figures& f = results[s.name];
        if (f.dialect_s <= 0 || f.stock_s <= 0 || f.hooked_s <= 0) continue;
        double ratio = f.stock_s / f.dialect_s;
        double metered = f.stock_s / f.hooked_s;
        double hook = (f.hooked_s - f.dialect_s) / f.dialect_s * 100.0;
        log_ratio += std::log(ratio);
        log_metered += std::log(metered);
        hook_sum += hook;
        n++;
        std::printf("%-10s %10.0f %12.1f %12.1f %12.1f %8.2fx %8.1f%% %8.2fx %s\n", s.name, f.instructions,
                    f.instructions / f.dialect_s / 1e6, f.instructions / f.hooked_s / 1e6,
                    f.instructions / f.stock_s / 1e6, ratio, hook, metered,
                    f.dialect_result == f.stock_result ? "agree" : ("differ: " + f.dialect_result + " vs " +
                                                                    f.stock_result).c_str());
    }
    if (n > 0)
        std::printf("%-10s %10s %12s %12s %12s %8.2fx %8.1f%% %8.2fx\n", "geomean", "", "", "", "",
                    std::exp(log_ratio / n), hook_sum / n, std::exp(log_metered / n));
    std::printf("(fastest runs; vs stock: stock time / dialect time, above 1 means the dialect is "
                "faster; hook: extra time of the metered run; metered: stock time / metered time; "
                "the last row: geometric means of the ratios, arithmetic mean of the hook)\n");
}

}  // namespace

int main(int argc, char** argv) {
    for (const vm_script& s : scripts) {
        benchmark::RegisterBenchmark((std::string("dialect/") + s.name).c_str(), bm_dialect, &s)
            ->Repetitions(5)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((std::string("dialect_metered/") + s.name).c_str(), bm_dialect_metered, &s)
            ->Repetitions(5)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((std::string("stock_lua52/") + s.name).c_str(), bm_stock, &s)
            ->UseManualTime()
            ->Iterations(5)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    print_summary();
    return 0;
}
