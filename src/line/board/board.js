// The line's board: asks the server for its tables and draws them; the
// stream of change events says when to ask again. Every text comes from the
// table below, in the language the switch, the address (?lang=) or the
// browser chose. Data is put into the page as text, never as markup.
"use strict";

const TEXTS = {
  en: {
    title: "Line board", language: "Language", chipsToday: "Chips today", passed: "Passed",
    failed: "Failed", firstPassYield: "First-pass yield", stationsReachable: "Stations reachable",
    stations: "Stations and programmers", hourly: "Chips per hour today",
    causes: "Failures by cause today", serials: "Serial numbers", gapsOf: "Gaps of",
    search: "Find a chip by serial number", serialNumber: "Serial number", find: "Find",
    updated: "Updated", noStations: "No station has joined the line yet.",
    noFailures: "No failures today.", noGaps: "No gaps.", live: "Live",
    connecting: "Connecting…", liveLost: "Live updates lost since {0}; trying again",
    failedSince: "Request failed since {0}: {1}", reachable: "reachable",
    neverHeard: "not heard from since the server started {0} ago",
    unreachableFor: "unreachable for {0}", leaseLeft: "Lease left", waiting: "Waiting in journal",
    idle: "idle", programming: "programming {0}%", waitingState: "waiting",
    unknownState: "state unknown", noChipYet: "no chip yet", lastChip: "last",
    todayCounts: "today {0} · passed {1} · failed {2}", yield: "yield",
    noChip: "No chip has serial number {0}.", badSerial: "A serial number is a whole number.",
    tokenPrompt: "This board needs a viewer token:", seconds: "{0} s", minutes: "{0} min {1} s",
    hours: "{0} h {1} min", days: "{0} d {1} h",
    col: {
      product: "Product", chip: "Chip", start: "Start", step: "Step", next: "Next", used: "Used",
      lowest: "Lowest", highest: "Highest", left: "Left", given_back: "Given back",
      first: "First", last: "Last", numbers: "Numbers", reason: "Reason", id: "Row",
      time: "Time", station: "Station", programmer: "Programmer", serial: "Serial",
      sequence: "Station's number", chip_id: "Chip ID", command: "Command", result: "Result",
      cause: "Cause", message: "Message", bytes: "Bytes", crc32: "CRC-32", seconds: "Seconds",
    },
    result: { done: "passed", failed: "failed", different: "different", started: "started" },
    reasonWord: { given_back: "given back", spent: "spent", leased: "in a lease", pending: "on a chip in progress", unknown: "unknown" },
    cut: "Only the first 1,000 runs are shown.", listed: "Listed at {0}",
    cause: {
      "": "no cause given", no_programmer: "no programmer", no_answer: "no answer",
      id_no_answer: "ID not answered", transfer_failed: "transfer failed", time_out: "time-out",
      difference: "difference", not_blank: "not blank", write_not_taken: "write not taken",
      not_erased: "not erased", protected: "write-protected", erase_not_taken: "erase not taken",
      type_not_streamed: "type not streamed", no_erase: "no erase", chip_too_large: "chip too large",
      no_page_size: "no page size", stopped: "stopped", refused: "refused",
      record_failed: "record failed", file_error: "file error", reads_differ: "reads differ",
    },
  },
  "zh-Hans": {
    title: "产线看板", language: "语言", chipsToday: "今日芯片", passed: "通过", failed: "失败",
    firstPassYield: "一次通过率", stationsReachable: "在线工位", stations: "工位与编程器",
    hourly: "今日每小时芯片数", causes: "今日失败原因", serials: "序列号", gapsOf: "空缺：",
    search: "按序列号查找芯片", serialNumber: "序列号", find: "查找", updated: "更新于",
    noStations: "还没有工位接入产线。", noFailures: "今日没有失败。", noGaps: "没有空缺。",
    live: "实时", connecting: "正在连接…", liveLost: "实时更新自 {0} 起中断，正在重试",
    failedSince: "自 {0} 起请求失败：{1}", reachable: "在线",
    neverHeard: "服务器启动{0}以来没有收到消息", unreachableFor: "已失联{0}",
    leaseLeft: "租用剩余", waiting: "日志待写", idle: "空闲", programming: "编程中 {0}%",
    waitingState: "等待", unknownState: "状态未知", noChipYet: "尚无芯片", lastChip: "上一片",
    todayCounts: "今日 {0} · 通过 {1} · 失败 {2}", yield: "通过率",
    noChip: "没有序列号为 {0} 的芯片。", badSerial: "序列号须为整数。",
    tokenPrompt: "此看板需要查看令牌：", seconds: "{0}秒", minutes: "{0}分{1}秒",
    hours: "{0}小时{1}分", days: "{0}天{1}小时",
    col: {
      product: "产品", chip: "芯片", start: "起始", step: "步长", next: "下一个", used: "已用",
      lowest: "最小", highest: "最大", left: "剩余", given_back: "退回", first: "首个",
      last: "末个", numbers: "个数", reason: "去向", id: "行", time: "时间", station: "工位",
      programmer: "编程器", serial: "序列号", sequence: "工位编号", chip_id: "芯片ID",
      command: "命令", result: "结果", cause: "失败原因", message: "信息", bytes: "字节",
      crc32: "CRC-32", seconds: "秒",
    },
    result: { done: "通过", failed: "失败", different: "不一致", started: "进行中" },
    reasonWord: { given_back: "退回", spent: "已耗用", leased: "租用中", pending: "编程中芯片", unknown: "不明" },
    cut: "只显示前 1,000 段。", listed: "列出于 {0}",
    cause: {
      "": "未注明原因", no_programmer: "没有编程器", no_answer: "没有应答",
      id_no_answer: "ID没有应答", transfer_failed: "传输失败", time_out: "超时",
      difference: "数据不一致", not_blank: "非空", write_not_taken: "写入未生效",
      not_erased: "未擦除", protected: "写保护", erase_not_taken: "擦除未生效",
      type_not_streamed: "类型不支持连续传输", no_erase: "不能擦除", chip_too_large: "芯片过大",
      no_page_size: "没有页大小", stopped: "已停止", refused: "被拒绝",
      record_failed: "记录失败", file_error: "文件错误", reads_differ: "两次读出不同",
    },
  },
  "zh-Hant": {
    title: "產線看板", language: "語言", chipsToday: "今日晶片", passed: "通過", failed: "失敗",
    firstPassYield: "一次通過率", stationsReachable: "在線工站", stations: "工站與編程器",
    hourly: "今日每小時晶片數", causes: "今日失敗原因", serials: "序號", gapsOf: "空缺：",
    search: "按序號查找晶片", serialNumber: "序號", find: "查找", updated: "更新於",
    noStations: "還沒有工站接入產線。", noFailures: "今日沒有失敗。", noGaps: "沒有空缺。",
    live: "即時", connecting: "正在連線…", liveLost: "即時更新自 {0} 起中斷，正在重試",
    failedSince: "自 {0} 起請求失敗：{1}", reachable: "在線",
    neverHeard: "伺服器啟動{0}以來沒有收到訊息", unreachableFor: "已失聯{0}",
    leaseLeft: "租用剩餘", waiting: "日誌待寫", idle: "閒置", programming: "編程中 {0}%",
    waitingState: "等待", unknownState: "狀態未知", noChipYet: "尚無晶片", lastChip: "上一顆",
    todayCounts: "今日 {0} · 通過 {1} · 失敗 {2}", yield: "通過率",
    noChip: "沒有序號為 {0} 的晶片。", badSerial: "序號須為整數。",
    tokenPrompt: "此看板需要檢視權杖：", seconds: "{0}秒", minutes: "{0}分{1}秒",
    hours: "{0}小時{1}分", days: "{0}天{1}小時",
    col: {
      product: "產品", chip: "晶片", start: "起始", step: "步長", next: "下一個", used: "已用",
      lowest: "最小", highest: "最大", left: "剩餘", given_back: "退回", first: "首個",
      last: "末個", numbers: "個數", reason: "去向", id: "列", time: "時間", station: "工站",
      programmer: "編程器", serial: "序號", sequence: "工站編號", chip_id: "晶片ID",
      command: "命令", result: "結果", cause: "失敗原因", message: "訊息", bytes: "位元組",
      crc32: "CRC-32", seconds: "秒",
    },
    result: { done: "通過", failed: "失敗", different: "不一致", started: "進行中" },
    reasonWord: { given_back: "退回", spent: "已耗用", leased: "租用中", pending: "編程中晶片", unknown: "不明" },
    cut: "只顯示前 1,000 段。", listed: "列出於 {0}",
    cause: {
      "": "未註明原因", no_programmer: "沒有編程器", no_answer: "沒有應答",
      id_no_answer: "ID沒有應答", transfer_failed: "傳輸失敗", time_out: "逾時",
      difference: "資料不一致", not_blank: "非空", write_not_taken: "寫入未生效",
      not_erased: "未擦除", protected: "寫保護", erase_not_taken: "擦除未生效",
      type_not_streamed: "類型不支援連續傳輸", no_erase: "不能擦除", chip_too_large: "晶片過大",
      no_page_size: "沒有頁大小", stopped: "已停止", refused: "被拒絕",
      record_failed: "記錄失敗", file_error: "檔案錯誤", reads_differ: "兩次讀出不同",
    },
  },
};

const TOKEN_KEY = "ostrel-board-token";
const LANGUAGE_KEY = "ostrel-board-language";
const COLORS = ["#1d5fbf", "#d97706", "#7c3aed", "#0f766e", "#be185d", "#4d7c0f", "#9a3412", "#334155"];

const state = {
  language: "en",
  tables: {},          // the last answer of each table
  failures: {},        // table -> {since, reason} while its requests fail
  liveLostSince: null,
  serialsAt: 0,
  connected: false,
  charts: {},
  product: "",
  lastSerial: null,
  refreshing: false,
  again: false,
};

function $(id) { return document.getElementById(id); }

function chooseLanguage() {
  const asked = new URLSearchParams(location.search).get("lang");
  if (asked && TEXTS[asked]) return asked;
  const kept = localStorage.getItem(LANGUAGE_KEY);
  if (kept && TEXTS[kept]) return kept;
  for (const tag of navigator.languages || [navigator.language || "en"]) {
    const t = tag.toLowerCase();
    if (/^zh-(hant|tw|hk|mo)/.test(t)) return "zh-Hant";
    if (t.startsWith("zh")) return "zh-Hans";
    if (t.startsWith("en")) return "en";
  }
  return "en";
}

function words() { return TEXTS[state.language]; }

// The text of `key` with {0}, {1}... filled in.
function t(key, ...values) {
  const text = words()[key];
  return String(text === undefined ? TEXTS.en[key] : text).replace(/\{(\d)\}/g, (_, i) => values[i]);
}

function word(group, key) {
  const table = words()[group];
  return key in table ? table[key] : (key === null ? "" : String(key));
}

function duration(seconds) {
  const s = Math.max(0, Math.floor(seconds));
  if (s < 60) return t("seconds", s);
  if (s < 3600) return t("minutes", Math.floor(s / 60), s % 60);
  if (s < 86400) return t("hours", Math.floor(s / 3600), Math.floor(s % 3600 / 60));
  return t("days", Math.floor(s / 86400), Math.floor(s % 86400 / 3600));
}

function clock(date) {
  return date.toLocaleTimeString(state.language, { hour12: false });
}

function localTime(text) {
  if (!text) return "";
  const d = new Date(text);
  return isNaN(d) ? text : d.toLocaleString(state.language, { hour12: false });
}

function element(tag, className, text) {
  const e = document.createElement(tag);
  if (className) e.className = className;
  if (text !== undefined && text !== null) e.textContent = String(text);
  return e;
}

function applyLanguage() {
  document.documentElement.lang = state.language;
  for (const e of document.querySelectorAll("[data-t]")) e.textContent = t(e.dataset.t);
  for (const e of document.querySelectorAll("[data-t-placeholder]"))
    e.placeholder = t(e.dataset.tPlaceholder);
  document.title = t("title");
  $("language").value = state.language;
  showLive();
  drawAll();
}

// --- Requests -------------------------------------------------------------

function headers() {
  const token = sessionStorage.getItem(TOKEN_KEY);
  return token ? { Authorization: "Bearer " + token } : {};
}

// Asks for `path`; a 401 asks the user for a viewer token once and tries
// again with it.
async function request(path) {
  const used = sessionStorage.getItem(TOKEN_KEY);
  let response = await fetch(path, { headers: headers(), cache: "no-store" });
  if (response.status === 401) {
    // Requests sent at once all come back refused: the first asks, the
    // others take the token it was given.
    if (sessionStorage.getItem(TOKEN_KEY) === used) {
      const token = window.prompt(t("tokenPrompt"));
      if (token) sessionStorage.setItem(TOKEN_KEY, token.trim());
    }
    if (sessionStorage.getItem(TOKEN_KEY) !== used)
      response = await fetch(path, { headers: headers(), cache: "no-store" });
  }
  if (!response.ok) {
    let reason = response.status + " " + response.statusText;
    try { reason = (await response.json()).error || reason; } catch (e) { /* not JSON */ }
    throw new Error(reason);
  }
  return response;
}

// Fetches one table; on failure its part of the page says so and since
// when, and keeps the old numbers greyed out.
async function load(name, path) {
  try {
    const table = await (await request(path)).json();
    state.tables[name] = table;
    delete state.failures[name];
    return table;
  } catch (e) {
    if (!state.failures[name]) state.failures[name] = { since: new Date(), reason: e.message };
    else state.failures[name].reason = e.message;
    return null;
  }
}

// The products' numbers count every chip a product ever had: they are asked
// for at most every SERIALS_EVERY ms, not on every change.
const SERIALS_EVERY = 10000;

function paths() {
  const p = {
    stations: "/api/v1/board/stations",
    hourly: "/api/v1/board/hourly",
    causes: "/api/v1/board/causes",
    serials: "/api/v1/board/serials",
  };
  if (state.product) p.gaps = "/api/v1/board/serials?product=" + encodeURIComponent(state.product);
  if (state.lastSerial !== null) p.chip = "/api/v1/board/chip?serial=" + state.lastSerial;
  return p;
}

function due() {
  const p = paths();
  const now = Date.now();
  if (state.serialsAt && now - state.serialsAt < SERIALS_EVERY && state.tables.serials &&
      !state.failures.serials && (!p.gaps || state.tables.gaps)) {
    delete p.serials;
    delete p.gaps;
  } else {
    state.serialsAt = now;
  }
  return p;
}

// When the page first showed its data and charts (bench/board_paint.py
// reads it).
function markDrawn() {
  if (chartReady() && state.tables.stations && !performance.getEntriesByName("board-drawn").length)
    performance.mark("board-drawn");
}

// Fetches every table; a change that comes meanwhile fetches once more after.
async function refresh() {
  if (state.refreshing) { state.again = true; return; }
  state.refreshing = true;
  try {
    do {
      state.again = false;
      const p = due();
      // Each table is drawn as it comes: a slow one holds up no other.
      await Promise.all(Object.keys(p).map((name) => load(name, p[name]).then(() => {
        drawAll();
        // The first product's gaps as soon as the products are known.
        const products = state.tables.serials;
        if (name !== "serials" || state.product || !products || !products.rows.length) return null;
        state.product = products.rows[0].product;
        return load("gaps", paths().gaps).then(drawAll);
      })));
      $("updated").textContent = clock(new Date());
      markDrawn();
    } while (state.again);
  } finally {
    state.refreshing = false;
  }
}

// The stream of change events, read through fetch so that the token goes
// in a header; it is opened again two seconds after it ends.
async function listen() {
  while (true) {
    try {
      const response = await request("/api/v1/events");
      const reader = response.body.getReader();
      const decoder = new TextDecoder();
      let buffer = "";
      while (true) {
        const { value, done } = await reader.read();
        if (done) break;
        buffer += decoder.decode(value, { stream: true });
        let end;
        while ((end = buffer.indexOf("\n\n")) >= 0) {
          const block = buffer.slice(0, end);
          buffer = buffer.slice(end + 2);
          if (/^event: change$/m.test(block)) {
            state.liveLostSince = null;
            state.connected = true;
            showLive();
            refresh();
          }
        }
      }
    } catch (e) { /* shown below */ }
    if (!state.liveLostSince) state.liveLostSince = new Date();
    showLive();
    refresh();
    await new Promise((resolve) => setTimeout(resolve, 2000));
  }
}

function showLive() {
  const live = $("live");
  if (state.liveLostSince) {
    live.dataset.state = "lost";
    live.textContent = t("liveLost", clock(state.liveLostSince));
  } else {
    live.dataset.state = state.connected ? "live" : "connecting";
    live.textContent = state.connected ? t("live") : t("connecting");
  }
}

// --- Drawing --------------------------------------------------------------

function showFailure(name, panel, id) {
  const failure = state.failures[name];
  const line = $(id || name + "-failure");
  line.hidden = !failure;
  if (failure) line.textContent = t("failedSince", clock(failure.since), failure.reason);
  if (panel) $(panel).classList.toggle("stale", !!failure);
  return failure;
}

function drawAll() {
  drawStations();
  drawHourly();
  drawCauses();
  drawSerials();
  drawChip();
}

function drawStations() {
  const failed = showFailure("stations", "stations-panel");
  $("counts").classList.toggle("stale", !!failed);
  const table = state.tables.stations;
  if (!table) return;
  const box = $("stations");
  box.replaceChildren();
  const byStation = new Map();
  for (const row of table.rows) {
    if (!byStation.has(row.station)) byStation.set(row.station, []);
    byStation.get(row.station).push(row);
  }
  let reachable = 0;
  for (const [name, rows] of byStation) {
    const first = rows[0];
    if (first.reachable) reachable++;
    const tile = element("article", "station");
    tile.dataset.station = name;
    tile.dataset.reachable = String(first.reachable);
    const head = element("div", "station-head");
    head.append(element("span", "station-name", name));
    let status = t("reachable");
    if (!first.reachable)
      status = first.seen ? t("unreachableFor", duration(first.silent_seconds))
                          : t("neverHeard", duration(first.silent_seconds));
    head.append(element("span", "station-state", status));
    tile.append(head);
    const facts = element("div", "station-facts");
    facts.append(element("span", "lease-left", t("leaseLeft") + ": " + (first.lease_left ?? "–")));
    facts.append(element("span", "waiting", t("waiting") + ": " + (first.waiting ?? "–")));
    tile.append(facts);
    const list = element("div", "programmers");
    for (const row of rows) {
      if (row.programmer === null) continue;
      const p = element("div", "programmer");
      p.dataset.programmer = row.programmer;
      p.dataset.state = row.state || "unknown";
      p.append(element("div", "serial", row.programmer));
      let what = t("unknownState");
      if (row.state === "idle") what = t("idle");
      else if (row.state === "programming") what = t("programming", row.progress ?? 0);
      else if (row.state === "waiting") what = t("waitingState");
      p.append(element("div", "what", what));
      if (row.state === "programming") {
        const bar = element("div", "bar");
        const fill = element("span");
        fill.style.width = Math.min(100, Math.max(0, row.progress || 0)) + "%";
        bar.append(fill);
        p.append(bar);
      }
      const last = element("div", "last " + (row.last_result || ""));
      if (row.last_result) {
        let text = t("lastChip") + ": " + word("result", row.last_result);
        if (row.last_serial !== null) text += " #" + row.last_serial;
        if (row.last_result !== "done") text += " (" + word("cause", row.last_cause) + ")";
        last.textContent = text;
        last.title = localTime(row.last_time);
      } else {
        last.textContent = t("noChipYet");
      }
      p.append(last);
      p.append(element("div", "counted", t("todayCounts", row.today, row.passed, row.failed)));
      list.append(p);
    }
    tile.append(list);
    box.append(tile);
  }
  $("stations-empty").hidden = byStation.size > 0;
  $("count-today").textContent = table.today;
  $("count-passed").textContent = table.passed;
  $("count-failed").textContent = table.failed;
  $("count-yield").textContent = table.today > 0 ? (100 * table.passed / table.today).toFixed(1) + "%" : "–";
  $("count-stations").textContent = reachable + " / " + byStation.size;
}

// The hours of today up to the present one, as the server's UTC hours.
function hoursOf(table) {
  const hours = [];
  const start = new Date(table.since);
  start.setUTCMinutes(0, 0, 0);
  for (let h = start.getTime(); h <= Date.now(); h += 3600e3)
    hours.push(new Date(h).toISOString().slice(0, 13) + ":00:00Z");
  for (const row of table.rows) if (!hours.includes(row.hour)) hours.push(row.hour);
  return hours.sort();
}

function chartReady() { return typeof window.Chart === "function"; }

function drawChart(id, config) {
  if (!chartReady()) return;
  const old = state.charts[id];
  if (old && old.config.type === config.type) {
    old.data.labels = config.data.labels;
    old.data.datasets = config.data.datasets;
    old.options = config.options;
    old.update("none");
    return;
  }
  if (old) old.destroy();
  config.options.animation = false;
  state.charts[id] = new window.Chart($(id), config);
}

function drawHourly() {
  showFailure("hourly", "hourly-panel");
  const table = state.tables.hourly;
  if (!table) return;
  const hours = hoursOf(table);
  const products = [...new Set(table.rows.map((r) => r.product))].sort();
  const datasets = products.map((product, i) => ({
    type: "bar", label: product || "–", backgroundColor: COLORS[i % COLORS.length], stack: "chips",
    maxBarThickness: 40,
    yAxisID: "y", order: 2,
    data: hours.map((h) => table.rows.filter((r) => r.hour === h && r.product === product)
                               .reduce((n, r) => n + r.chips, 0)),
  }));
  datasets.push({
    type: "line", label: t("firstPassYield"), yAxisID: "yield", borderColor: "#1f7a3d",
    backgroundColor: "#1f7a3d", order: 1, spanGaps: true,
    data: hours.map((h) => {
      const rows = table.rows.filter((r) => r.hour === h);
      const chips = rows.reduce((n, r) => n + r.chips, 0);
      return chips ? Math.round(1000 * rows.reduce((n, r) => n + r.passed, 0) / chips) / 10 : null;
    }),
  });
  drawChart("hourly-chart", {
    type: "bar",
    data: {
      labels: hours.map((h) => new Date(h).toLocaleTimeString(state.language,
                                                              { hour: "2-digit", minute: "2-digit", hour12: false })),
      datasets,
    },
    options: {
      responsive: true, maintainAspectRatio: false,
      scales: {
        x: { stacked: true },
        y: { stacked: true, beginAtZero: true, ticks: { precision: 0 } },
        yield: { position: "right", min: 0, max: 100, grid: { drawOnChartArea: false },
                 title: { display: window.innerWidth > 520, text: t("firstPassYield") + " %" } },
      },
      plugins: { legend: { position: "bottom", labels: { boxWidth: 12 } } },
    },
  });
}

function drawCauses() {
  showFailure("causes", "causes-panel");
  const table = state.tables.causes;
  if (!table) return;
  $("causes-empty").hidden = table.rows.length > 0;
  drawChart("causes-chart", {
    type: "bar",
    data: {
      labels: table.rows.map((r) => word("cause", r.cause)),
      datasets: [{ label: t("failed"), data: table.rows.map((r) => r.chips), backgroundColor: "#b42318",
                   maxBarThickness: 28 }],
    },
    options: {
      indexAxis: "y", responsive: true, maintainAspectRatio: false,
      scales: { x: { beginAtZero: true, ticks: { precision: 0 } } },
      plugins: { legend: { display: false } },
    },
  });
}

const NUMBER_COLUMNS = new Set(["start", "step", "next", "used", "lowest", "highest", "left",
  "given_back", "first", "last", "numbers", "id", "serial", "sequence", "bytes", "seconds"]);

function cellText(column, value) {
  if (value === null || value === undefined) return "";
  if (column === "result") return word("result", value);
  if (column === "cause") return value === "" ? "" : word("cause", value);
  if (column === "reason") return word("reasonWord", value);
  if (column === "time") return localTime(value);
  return String(value);
}

function fillTable(id, table, columns) {
  const box = $(id);
  box.replaceChildren();
  if (!table || table.rows.length === 0) return;
  const head = element("tr");
  for (const c of columns) head.append(element("th", NUMBER_COLUMNS.has(c) ? "number" : "", word("col", c)));
  const thead = element("thead");
  thead.append(head);
  box.append(thead);
  const body = element("tbody");
  for (const row of table.rows) {
    const tr = element("tr");
    for (const c of columns) tr.append(element("td", NUMBER_COLUMNS.has(c) ? "number" : "", cellText(c, row[c])));
    body.append(tr);
  }
  box.append(body);
}

function drawSerials() {
  showFailure("serials", "serials-panel");
  const table = state.tables.serials;
  if (table) {
    fillTable("products", table, ["product", "chip", "used", "left", "given_back", "lowest", "highest", "next", "step"]);
    const pick = $("product");
    const names = table.rows.map((r) => r.product);
    if (pick.options.length !== names.length || names.some((n, i) => pick.options[i].value !== n)) {
      pick.replaceChildren(...names.map((n) => { const o = element("option", "", n); o.value = n; return o; }));
    }
    if (!names.includes(state.product) && names.length > 0) {
      state.product = names[0];
      refresh();
    }
    pick.value = state.product;
  }
  showFailure("gaps", null, "gaps-failure");
  const gaps = state.tables.gaps;
  fillTable("gaps", gaps, ["first", "last", "numbers", "reason", "station", "cause"]);
  $("gaps-empty").hidden = !gaps || gaps.rows.length > 0;
  $("gaps-cut").hidden = !gaps || !gaps.cut;
  $("gaps-cut").textContent = t("cut");
  $("gaps-listed").hidden = !gaps || !gaps.listed;
  if (gaps && gaps.listed) $("gaps-listed").textContent = t("listed", clock(new Date(gaps.listed)));
}

function drawChip() {
  showFailure("chip", "search-panel", "chip-failure");
  const table = state.tables.chip;
  fillTable("chip", table, ["time", "product", "serial", "station", "programmer", "result", "cause",
                            "command", "chip", "chip_id", "bytes", "crc32", "seconds", "sequence", "message", "id"]);
  const empty = $("chip-empty");
  empty.hidden = !table || table.rows.length > 0;
  if (table && table.rows.length === 0) empty.textContent = t("noChip", table.serial);
}

// --- What the user does ---------------------------------------------------

async function downloadCsv(name) {
  const p = paths();
  if (!p[name === "serials" && state.product ? "gaps" : name]) return;
  const path = p[name === "serials" && state.product ? "gaps" : name];
  try {
    const response = await request(path + (path.includes("?") ? "&" : "?") + "format=csv");
    const url = URL.createObjectURL(await response.blob());
    const a = element("a");
    a.href = url;
    a.download = name + ".csv";
    document.body.append(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(url), 1000);
  } catch (e) {
    state.failures[name] = { since: new Date(), reason: e.message };
    drawAll();
  }
}

function start() {
  state.language = chooseLanguage();
  $("language").addEventListener("change", (e) => {
    state.language = e.target.value;
    localStorage.setItem(LANGUAGE_KEY, state.language);
    applyLanguage();
  });
  $("product").addEventListener("change", (e) => {
    state.product = e.target.value;
    delete state.tables.gaps;
    refresh();
  });
  $("search").addEventListener("submit", (e) => {
    e.preventDefault();
    const text = $("serial").value.trim();
    if (!/^\d{1,19}$/.test(text)) {
      state.failures.chip = { since: new Date(), reason: t("badSerial") };
      delete state.tables.chip;
      drawChip();
      return;
    }
    state.lastSerial = text;
    delete state.tables.chip;
    delete state.failures.chip;
    refresh();
  });
  for (const button of document.querySelectorAll("[data-csv]"))
    button.addEventListener("click", () => downloadCsv(button.dataset.csv));
  // The durations of silent stations grow between events.
  setInterval(() => { if (!state.refreshing) refresh(); }, 10000);
  applyLanguage();
  refresh();
  listen();
}

// The script runs once the page is parsed, before Chart.js: the tables are
// asked for at once, and the charts drawn when Chart.js is there.
start();
window.addEventListener("load", () => {
  drawAll();
  markDrawn();
});
