// SPDX-License-Identifier: GPL-3.0-or-later
// Vimo's page for the guests' phones. Plain script, no framework: it asks the jukebox for songs, sends
// wishes and photos, and follows the queue through server-sent events. Every text from the jukebox is
// put on the page as text, never as markup.
"use strict";

const $ = (id) => document.getElementById(id);
const states = ["", "waiting", "playing", "played"];
let chipIndex = -1;
let ticket = "";
let head = null;
let headSeen = 0;
let searchTimer = 0;
let searchSerial = 0;
let events = null;
let shownResults = "";

function say(text, kind) {
  const status = $("status");
  status.textContent = text || "";
  status.className = kind || "";
}

async function call(path, options) {
  try {
    const response = await fetch(path, Object.assign({ credentials: "same-origin" }, options || {}));
    let body = {};
    try { body = await response.json(); } catch (e) { body = {}; }
    return { ok: response.ok, status: response.status, body: body };
  } catch (e) {
    return { ok: false, status: 0, body: { message: "The jukebox cannot be reached." } };
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
    playing.textContent = "Nothing yet – wish the first song!";
    return;
  }
  playing.append(songText(head));
  const time = document.createElement("span");
  time.className = "time";
  const passed = head.paused ? 0 : (Date.now() - headSeen) / 1000;
  time.textContent = head.paused ? "paused" : clock(head.remaining - passed) + " left";
  playing.append(time);
}

function showQueue(queue) {
  head = queue && queue.head ? queue.head : null;
  headSeen = Date.now();
  showPlaying();
  const list = $("queue");
  list.textContent = "";
  for (const song of (queue && queue.waiting) || []) {
    const item = document.createElement("li");
    item.textContent = songText(song);
    list.append(item);
  }
}

function showChips(chips) {
  const box = $("chips");
  box.textContent = "";
  const labels = ["All genres"].concat(chips || []);
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
    button.textContent = "Wish";
    button.dataset.id = String(song.id);
    if (song.state !== 0) {
      button.disabled = true;
      const note = document.createElement("span");
      note.className = "note";
      note.textContent = states[song.state] || "";
      item.append(text, note, button);
    } else {
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
  if (answer.ok && answer.body.ticket) {
    ticket = answer.body.ticket;
    $("photo-form").hidden = false;
  }
  searchSoon();
}

async function sendPhoto(event) {
  event.preventDefault();
  const file = $("photo-input").files[0];
  if (!file) return say("Take or choose a photo first.", "refused");
  if (file.size > 15 * 1024 * 1024) return say("The photo is larger than 15 MB.", "refused");
  const fields = new FormData();
  fields.append("ticket", ticket);
  fields.append("comment", $("comment-input").value);
  fields.append("photo", file);
  say("Sending the photo …");
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
