"""The peers' words: jieba's cut without its HMM, digits dropped, stop words left out (as the
newsclass pipeline cuts text), shared by bench/peer_pipeline.py and bench/peer_serve.py."""
import re

import jieba

_DIGITS = re.compile(r'\d+')


def word_cutter(stop_words):
    """A function from a text to its words, leaving out `stop_words`."""

    def tokenize(text):
        words = []
        for word in jieba.cut(text, HMM=False):
            word = _DIGITS.sub('', word).strip()
            if word and word not in stop_words:
                words.append(word)
        return words

    return tokenize
