#include "serve/page.h"

namespace newsclass {

const std::string& pageHtml() {
  // Element ids the browser test looks for: text, label, answers, status.
  static const std::string kPage = R"PAGE(<!DOCTYPE html>
<html lang="zh">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>newsclass</title>
<style>
body { font-family: sans-serif; margin: 2em auto; max-width: 46em; padding: 0 1em; color: #222; }
h1 { font-size: 1.4em; margin-bottom: 0.2em; }
#status { color: #666; font-size: 0.9em; margin-bottom: 1em; }
textarea { width: 100%; box-sizing: border-box; font-size: 1.05em; padding: 0.4em; }
button { margin-top: 0.5em; font-size: 1em; padding: 0.35em 1.4em; }
.answer { margin-top: 1.2em; border-top: 1px solid #ddd; padding-top: 0.6em; }
.text { color: #555; font-size: 0.9em; margin-bottom: 0.3em; }
.label { font-size: 1.2em; font-weight: bold; margin-bottom: 0.4em; }
.row { display: flex; align-items: center; margin: 0.15em 0; font-size: 0.9em; }
.category { width: 9em; overflow: hidden; text-overflow: ellipsis; white-space: nowrap; }
.track { flex: 1; background: #eee; height: 0.9em; margin: 0 0.6em; }
.bar { background: #3b7dd8; height: 100%; }
.score { width: 6em; text-align: right; font-variant-numeric: tabular-nums; }
.error { color: #b00020; margin-top: 1em; }
</style>
</head>
<body>
<h1>newsclass</h1>
<div id="status">loading the model…</div>
<textarea id="text" rows="4" placeholder="one text a line, e.g. 国足主帅公布亚洲杯大名单"></textarea>
<button id="label" type="button">Label</button>
<div id="answers"></div>
<script>
"use strict";
const answers = document.getElementById("answers");
const status = document.getElementById("status");

function element(tag, className, text) {
  const made = document.createElement(tag);
  if (className) made.className = className;
  if (text !== undefined) made.textContent = text;
  return made;
}

// Scores between 0 and 1 (vote shares, probabilities) are drawn as they are; decision values
// from the lowest to the highest shown.
function barWidths(scores) {
  const values = scores.map(s => s.score);
  if (values.every(v => v >= 0 && v <= 1)) return values.map(v => v * 100);
  const low = Math.min(...values), high = Math.max(...values);
  return values.map(v => high > low ? (v - low) / (high - low) * 100 : 100);
}

function show(texts, reply) {
  answers.replaceChildren();
  reply.results.forEach((result, i) => {
    const box = element("div", "answer");
    box.appendChild(element("div", "text", texts[i]));
    box.appendChild(element("div", "label", result.label === "" ? "(no keyword of the model)" : result.label));
    const widths = barWidths(result.scores);
    result.scores.forEach((score, j) => {
      const row = element("div", "row");
      row.appendChild(element("span", "category", score.category));
      const track = element("span", "track");
      const bar = element("div", "bar");
      bar.style.width = widths[j].toFixed(1) + "%";
      track.appendChild(bar);
      row.appendChild(track);
      row.appendChild(element("span", "score", score.score.toFixed(4)));
      box.appendChild(row);
    });
    answers.appendChild(box);
  });
}

async function label() {
  const texts = document.getElementById("text").value.split("\n").filter(t => t.trim() !== "");
  if (texts.length === 0) return;
  try {
    const response = await fetch("/v1/predict", {
      method: "POST",
      headers: {"Content-Type": "application/json"},
      body: JSON.stringify({texts: texts, top: 5})
    });
    const reply = await response.json();
    if (!response.ok) throw new Error(reply.error || response.statusText);
    show(texts, reply);
  } catch (error) {
    answers.replaceChildren(element("div", "error", String(error.message || error)));
  }
}

async function describe() {
  try {
    const response = await fetch("/v1/health");
    const health = await response.json();
    status.textContent = health.status === "ready"
        ? "model " + health.model.generation + ": " + health.model.classifier
        : "the model is still loading";
  } catch (error) {
    status.textContent = "the server does not answer";
  }
}

document.getElementById("label").addEventListener("click", label);
document.getElementById("text").addEventListener("keydown", event => {
  if (event.key === "Enter" && (event.ctrlKey || event.metaKey)) label();
});
describe();
</script>
</body>
</html>
)PAGE";
  return kPage;
}

}  // namespace newsclass
