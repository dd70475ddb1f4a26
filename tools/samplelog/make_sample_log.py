#!/usr/bin/env python3
"""Writes data/log.txt, the sample Voyla log that ships beside the program.

The log is CP932 with CR LF line ends: "Result: OK", two header lines, then
one message per line of eight TAB-separated fields (stamp, message id,
channel, ghost, connections, votes, agrees, script). The messages are made
from a fixed seed, so running this again gives the same bytes.

Usage: python3 tools/samplelog/make_sample_log.py [OUTPUT]
"""
import random
import sys

SEED = 20040506
COUNT = 320

GHOSTS = [
    "さくら", "まゆら", "毒子", "ソフィア", "表参道の能楽師", "Emily/Phase4",
    "なる", "双葉", "ゆうか", "ブルーソーダ",
]
CHANNELS = [
    "さくらチャンネル", "ゴーストボックス", "雑談", "Test Channel", "能楽堂",
    "表とソース", "",
]
MAIN_LINES = [
    "こんにちは。", "今日はいい天気だね。", "ソフトウェアの表示が変だよ。",
    "能力テスト、始めるよ。", "お茶でも飲もうか。", "予定表を見てみよう。",
    "それは表向きの話でしょ。", "ソースを読んだ？", "ちょっと待ってて。",
    "あ、メールが来てる。", "明日は雨らしいよ。", "十時に集合ね。",
    "It's a \"test\" <message>.", "100% sure & certain.",
]
SIDE_LINES = [
    "よう。", "眠い……", "またソレかい。", "表に出ろ。", "知らん。",
    "能書きはいいから。", "おう、行ってこい。", "ふーん。", "腹減った。",
    "I'm here.",
]
BOTH_LINES = ["せーの！", "ありがとうございました！", "ソーダ！", "おしまい。"]
URLS = [
    ("http://www.example.com/ghost/index.html", "ゴースト配布所"),
    ("http://ukagaka.example.org/", None),
    ("http://a.b.c.example.net/path/to/page.php?id=12&view=1", "詳細ページ"),
    ("http://example.jp/%82%A0%82%A2.html", None),
    ("http://x.example.com/dl/sakura.nar", "ダウンロード"),
]


def surface(rng, base):
    return "\\s[%d]" % rng.choice([base, base, base + 1, base + 2, base + 5, base + 8, -1])


def speech(rng, lines):
    text = rng.choice(lines)
    if rng.random() < 0.35:
        text += rng.choice(["\\n", "\\n[half]", "\\n\\n"]) + rng.choice(lines)
    if rng.random() < 0.3:
        text = text.replace("。", "。\\w5", 1)
    return text


def script(rng):
    parts = []
    tag_main = rng.choice(["\\h", "\\0"])
    tag_side = rng.choice(["\\u", "\\1"])
    kind = rng.random()
    if kind < 0.08:
        # Plain text without any tag.
        return rng.choice(MAIN_LINES)
    if kind < 0.12:
        return ""
    parts.append(tag_main + surface(rng, 0) + speech(rng, MAIN_LINES))
    for _ in range(rng.randint(0, 3)):
        if rng.random() < 0.5:
            parts.append("\\n" + tag_side + surface(rng, 10) + speech(rng, SIDE_LINES))
        else:
            parts.append("\\n" + tag_main + surface(rng, 0) + speech(rng, MAIN_LINES))
    if rng.random() < 0.2:
        parts.append("\\_s" + rng.choice(["", "\\s[3]"]) + rng.choice(BOTH_LINES) + "\\_s")
    if rng.random() < 0.15:
        url, title = rng.choice(URLS)
        tag = "\\URL[%s]" % url
        if title:
            tag += "[%s]" % title
        parts.append(tag_main + "ここを見て。" + tag)
    if rng.random() < 0.1:
        parts.append("\\c" + rng.choice(MAIN_LINES))
    if rng.random() < 0.08:
        parts.append("\\\\やA\\\\B")  # an escaped backslash shown as text
    if rng.random() < 0.05:
        parts.append("%username、元気？")
    end = "\\e" if rng.random() < 0.8 else ""
    return "".join(parts) + end


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "data/log.txt"
    rng = random.Random(SEED)
    lines = ["Result: OK", "Voyla log 2004/05/06 - 2004/05/07", "Count: %d" % COUNT]
    day, hour, minute, second = 6, 7, 8, 9
    for i in range(COUNT):
        if i == COUNT - 3:
            # The last messages fall just after midnight: the first of them at
            # exactly 00:00:00, which shows as the date alone.
            day, hour, minute, second = day + 1, 0, 0, 0
        else:
            second += rng.randint(3, 90)
        minute += second // 60
        second %= 60
        hour += minute // 60
        minute %= 60
        if hour >= 24:
            day += 1
            hour -= 24
        stamp = "2004%02d%02d%02d%02d%02d" % (5, day, hour, minute, second)
        mid = "" if i == 17 else "%08x" % rng.getrandbits(32)
        channel = rng.choice(CHANNELS)
        ghost = rng.choice(GHOSTS)
        connections = str(rng.randint(1, 60))
        votes = "" if rng.random() < 0.1 else str(rng.randint(0, 9))
        agrees = "" if rng.random() < 0.1 else str(rng.randint(0, 5))
        fields = [stamp, mid, channel, ghost, connections, votes, agrees, script(rng)]
        lines.append("\t".join(fields))
    data = "".join(line + "\r\n" for line in lines).encode("cp932")
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
