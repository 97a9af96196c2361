// SPDX-License-Identifier: GPL-3.0-or-later
// Vimo's page for the guests' phones. Plain script, no framework: it asks the jukebox for songs, sends
// wishes and photos, and follows the queue through server-sent events. Every text from the jukebox is
// put on the page as text, never as markup. The page's own texts come with the page, in the phone's
// language: t("text") is "text" translated.
"use strict";

const $ = (id) => document.getElementById(id);
let texts = {};
const t = (text, argument) => {
  const translated = Object.prototype.hasOwnProperty.call(texts, text) ? texts[text] : text;
  return argument === undefined ? translated : translated.replace("%1", argument);
};
const states = ["", "waiting", "playing", "played"];
const unreachable = "The jukebox cannot be reached.";
// The songs this phone wished that have not played yet, kept over a reload of the page.
const mine = new Set(JSON.parse(sessionStorage.getItem("vimo-wishes") || "[]"));
// Songs whose Wish button a refusal greyed: they come back when the queue moves on.
const refused = new Set();
let waitingCount = -1;
let shownQueue = null;
let chipIndex = -1;
let ticket = "";
let head = null;
let headSeen = 0;
let searchTimer = 0;
let searchSerial = 0;
let events = null;
let shownResults = "";

function remember() {
  sessionStorage.setItem("vimo-wishes", JSON.stringify(Array.from(mine)));
}

function say(text, kind) {
  const status = $("status");
  status.textContent = text || "";
  status.className = kind || "";
}

async function call(path, options) {
  try {
    const response = await fetch(path, Object.assign({ credentials: "same-origin" }, options || {}));
    // The jukebox answers again: an old "cannot be reached" is no longer true.
    if ($("status").textContent === t(unreachable)) say("");
    let body = {};
    try { body = await response.json(); } catch (e) { body = {}; }
    return { ok: response.ok, status: response.status, body: body };
  } catch (e) {
    return { ok: false, status: 0, body: { message: t(unreachable) } };
  }
}

function post(path, fields) {
  return call(path, { method: "POST", body: fields });
}

function clock(seconds) {
  seconds = Math.max(0, Math.floor(seconds));
  return Math.floor(seconds / 60) + ":" + String(seconds % 60).padStart(2, "0");
}

function songText(song) {
  return song.artist + " – " + song.title;
}

function showPlaying() {
  const playing = $("playing");
  playing.textContent = "";
  if (!head) {
    playing.textContent = t("Nothing yet – wish the first song!");
    return;
  }
  playing.append(songText(head));
  const time = document.createElement("span");
  time.className = "time";
  const passed = head.paused ? 0 : (Date.now() - headSeen) / 1000;
  time.textContent = head.paused ? t("paused") : t("%1 left", clock(head.remaining - passed));
  playing.append(time);
}

// The cover's address names the song it belongs to: it changes only with the song, so the picture is
// fetched once, and a song without one shows none.
function showCover() {
  const cover = $("cover");
  const address = head && head.cover ? head.cover : "";
  if (cover.getAttribute("src") !== address) {
    if (address) cover.setAttribute("src", address);
    else cover.removeAttribute("src");
  }
  cover.hidden = !address;
}

function markMine(item) {
  item.classList.add("mine");
  const mark = document.createElement("span");
  mark.className = "mark";
  mark.textContent = t("your wish");
  item.append(mark);
}

function showQueue(queue) {
  shownQueue = queue;
  const before = head ? head.id : -1;
  head = queue && queue.head ? queue.head : null;
  headSeen = Date.now();
  showPlaying();
  showCover();
  const waiting = (queue && queue.waiting) || [];
  if (head && head.id !== before && mine.has(head.id)) say(t("Your wish is playing now: %1", songText(head)), "taken");
  // A wish of this phone that is neither playing nor waiting has played.
  const queued = new Set(waiting.map((song) => song.id).concat(head ? [head.id] : []));
  for (const id of Array.from(mine)) if (!queued.has(id)) mine.delete(id);
  remember();
  // A song that ended, or a wish that left the queue, frees a place: refused wishes may be tried again.
  if ((head ? head.id : -1) !== before || waiting.length < waitingCount) {
    if (refused.size) shownResults = "";
    refused.clear();
  }
  waitingCount = waiting.length;
  const list = $("queue");
  list.textContent = "";
  for (const song of waiting) {
    const item = document.createElement("li");
    item.textContent = songText(song);
    if (mine.has(song.id)) markMine(item);
    list.append(item);
  }
}

function showChips(chips) {
  const box = $("chips");
  box.textContent = "";
  const labels = [t("All genres")].concat(chips || []);
  labels.forEach((label, index) => {
    const button = document.createElement("button");
    button.type = "button";
    button.textContent = label;
    button.setAttribute("aria-pressed", String(index - 1 === chipIndex));
    button.addEventListener("click", () => {
      chipIndex = index - 1;
      for (const other of box.children) other.setAttribute("aria-pressed", String(other === button));
      search();
    });
    box.append(button);
  });
}

async function search() {
  const serial = ++searchSerial;
  const query = new URLSearchParams({ q: $("search").value.slice(0, 100), g: String(chipIndex) });
  const answer = await call("/api/search?" + query.toString());
  if (serial !== searchSerial) return; // a newer search is on its way
  if (!answer.ok) {
    if (answer.status === 403) return askForPin();
    return say(answer.body.message, "refused");
  }
  // The list is built anew only when it changed: a guest about to tap a song keeps the same button.
  const shown = JSON.stringify(answer.body);
  if (shown === shownResults) return;
  shownResults = shown;
  const list = $("results");
  list.textContent = "";
  for (const song of answer.body.songs || []) {
    const item = document.createElement("li");
    const text = document.createElement("span");
    text.className = "song";
    const artist = document.createElement("span");
    artist.className = "artist";
    artist.textContent = song.artist;
    text.append(artist, song.title);
    const button = document.createElement("button");
    button.type = "button";
    button.textContent = t("Wish");
    button.setAttribute("aria-label", t("Wish %1", songText(song)));
    button.dataset.id = String(song.id);
    if (mine.has(song.id)) item.classList.add("mine");
    if (song.state !== 0) {
      button.disabled = true;
      const note = document.createElement("span");
      note.className = "note";
      note.textContent = mine.has(song.id) ? t("your wish") : t(states[song.state] || "");
      item.append(text, note, button);
    } else {
      button.disabled = refused.has(song.id);
      item.append(text, button);
    }
    button.addEventListener("click", () => wish(song, button));
    list.append(item);
  }
  $("more").hidden = !answer.body.more;
}

function searchSoon() {
  clearTimeout(searchTimer);
  searchTimer = setTimeout(search, 150);
}

async function wish(song, button) {
  button.disabled = true;
  const answer = await post("/api/wish", new URLSearchParams({ id: String(song.id) }));
  say(answer.body.message, answer.ok ? "taken" : "refused");
  if (answer.ok) {
    mine.add(song.id);
    remember();
    // The queue's news of this wish may have come before the answer: mark it now.
    showQueue(shownQueue);
  } else {
    refused.add(song.id);
  }
  if (answer.ok && answer.body.ticket) {
    ticket = answer.body.ticket;
    $("photo-form").hidden = false;
  }
  searchSoon();
}

async function sendPhoto(event) {
  event.preventDefault();
  const file = $("photo-input").files[0];
  if (!file) return say(t("Take or choose a photo first."), "refused");
  if (file.size > 15 * 1024 * 1024) return say(t("The photo is larger than 15 MB."), "refused");
  const fields = new FormData();
  fields.append("ticket", ticket);
  fields.append("comment", $("comment-input").value);
  fields.append("photo", file);
  say(t("Sending the photo …"));
  // The ticket also goes in the address, so that a photo belonging to no wish is refused unread.
  const answer = await post("/api/photo?ticket=" + encodeURIComponent(ticket), fields);
  say(answer.body.message, answer.ok ? "taken" : "refused");
  if (answer.ok) closePhoto();
}

function closePhoto() {
  ticket = "";
  $("photo").reset();
  $("photo-form").hidden = true;
}

function follow() {
  if (events) return;
  events = new EventSource("/api/events");
  events.addEventListener("open", () => {
    if ($("status").textContent === t(unreachable)) say("");
  });
  events.addEventListener("queue", (event) => {
    try { showQueue(JSON.parse(event.data)); } catch (e) { return; }
    searchSoon();
  });
}

function askForPin() {
  $("party").hidden = true;
  $("pin-form").hidden = false;
  $("pin-input").focus();
}

async function start() {
  const answer = await call("/api/state");
  if (!answer.ok) return say(answer.body.message, "refused");
  if (answer.body.pin) return askForPin();
  $("pin-form").hidden = true;
  $("party").hidden = false;
  $("comment-input").maxLength = answer.body.commentLimit || 32767;
  showChips(answer.body.chips);
  showQueue(answer.body.queue);
  follow();
  search();
}

document.addEventListener("DOMContentLoaded", () => {
  try { texts = JSON.parse($("texts").textContent); } catch (e) { texts = {}; }
  $("search").addEventListener("input", searchSoon);
  $("photo").addEventListener("submit", sendPhoto);
  $("photo-skip").addEventListener("click", closePhoto);
  $("pin").addEventListener("submit", async (event) => {
    event.preventDefault();
    const answer = await post("/api/pin", new URLSearchParams({ pin: $("pin-input").value }));
    if (!answer.ok) return say(answer.body.message, "refused");
    say("");
    start();
  });
  setInterval(showPlaying, 1000);
  start();
});
