#!/usr/bin/python3
"""The peer of `newsclass serve` in bench/serve_bench.sh: the service users would write instead,
with jieba and scikit-learn behind the standard library's ThreadingHTTPServer (HTTP/1.1, kept-alive
connections, one thread per connection), the model trained at start-up on the corpus' training
rows and kept resident. Trains as bench/peer_pipeline.py does: jieba (no unknown-word model) with
the same stop words and digit removal, then

  linearsvc-words-chars  LinearSVC over the sublinear TF-IDF of all words beside the character
                         1-2-grams' (the two matrices side by side); the default
  linearsvc              LinearSVC over the TF-IDF of all words
  knn                    TF-IDF, SelectKBest chi2 (FEATURES), KNeighborsClassifier (K, cosine,
                         uniform weights, brute force); the scores are the neighbours' shares

Answers as newsclass serve does: POST /v1/predict {"texts": [...], "top": N} gives
{"model": {"classifier", "generation", "fingerprint"}, "results": [{"label", "scores":
[{"category", "score"}, ...]}, ...]}; GET /v1/health gives {"status": "ready", ...}. The first line
on standard error is "peer serve: listening on http://HOST:PORT", written once the model is
trained; then one access line per request in newsclass serve's form:
  127.0.0.1:56542 "POST /v1/predict" 200 765 bytes 0.412 ms texts 32 model 1
(the time runs from the request's head read to its answer written). SIGTERM stops it.

usage: peer_serve.py CORPUS.tsv[.gz] STOPWORDS [--classifier NAME] [--k K] [--features N]
                     [--host 127.0.0.1] [--port 0]"""
import argparse
import gzip
import hashlib
import json
import os
import signal
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

import jieba
import numpy as np
from sklearn.feature_extraction.text import TfidfVectorizer

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from peer_words import word_cutter  # noqa: E402

parser = argparse.ArgumentParser(description='jieba + scikit-learn behind http.server')
parser.add_argument('corpus')
parser.add_argument('stopwords')
parser.add_argument('--classifier', default='linearsvc-words-chars',
                    choices=('linearsvc-words-chars', 'linearsvc', 'knn'))
parser.add_argument('--k', type=int, default=10)
parser.add_argument('--features', type=int, default=1000)
parser.add_argument('--host', default='127.0.0.1')
parser.add_argument('--port', type=int, default=0)
options = parser.parse_args()

opener = gzip.open if options.corpus.endswith('.gz') else open
train_text, train_label = [], []
with opener(options.corpus, 'rt', encoding='utf-8') as corpus:
    for line in corpus:
        fields = line.rstrip('\n').split('\t')
        if len(fields) == 4 and fields[0] == 'train':
            train_text.append(fields[3] if fields[3] else fields[2])
            train_label.append(fields[1])
with open(options.stopwords, encoding='utf-8') as f:
    stop_words = set(f.read().split())
jieba.setLogLevel(60)  # its "Building prefix dict" lines would come before ours
jieba.initialize()


tokenize = word_cutter(stop_words)


class WordsChars:
    """The words' TF-IDF beside the character 1-2-grams', as one CSR matrix."""

    def __init__(self):
        self.words = TfidfVectorizer(analyzer=lambda words: words, sublinear_tf=True)
        self.chars = TfidfVectorizer(analyzer='char', ngram_range=(1, 2), sublinear_tf=True)

    def fit_transform(self, texts):
        from scipy.sparse import hstack
        return hstack([self.words.fit_transform([tokenize(t) for t in texts]),
                       self.chars.fit_transform(texts)]).tocsr()

    def transform(self, texts):
        from scipy.sparse import hstack
        return hstack([self.words.transform([tokenize(t) for t in texts]),
                       self.chars.transform(texts)]).tocsr()


class Words:
    def __init__(self, selector=None):
        self.words = TfidfVectorizer(analyzer=lambda words: words)
        self.selector = selector

    def fit_transform(self, texts, labels):
        matrix = self.words.fit_transform([tokenize(t) for t in texts])
        if self.selector is not None:
            matrix = self.selector.fit_transform(matrix, labels)
        return matrix

    def transform(self, texts):
        matrix = self.words.transform([tokenize(t) for t in texts])
        return self.selector.transform(matrix) if self.selector is not None else matrix


started = time.perf_counter()
if options.classifier == 'knn':
    from sklearn.feature_selection import SelectKBest, chi2
    from sklearn.neighbors import KNeighborsClassifier
    features = Words(SelectKBest(chi2, k=options.features))
    train_matrix = features.fit_transform(train_text, train_label)
    classifier = KNeighborsClassifier(n_neighbors=options.k, metric='cosine', weights='uniform',
                                      algorithm='brute').fit(train_matrix, train_label)
else:
    from sklearn.svm import LinearSVC
    if options.classifier == 'linearsvc':
        features = Words()
        train_matrix = features.fit_transform(train_text, train_label)
    else:
        features = WordsChars()
        train_matrix = features.fit_transform(train_text)
    classifier = LinearSVC().fit(train_matrix, train_label)
categories = [str(c) for c in classifier.classes_]
trained = time.perf_counter() - started
model_summary = {'classifier': options.classifier, 'generation': 1,
                 'fingerprint': hashlib.sha256(repr((options.classifier, len(train_text), categories))
                                               .encode()).hexdigest()[:16]}


def answer(texts, top):
    results = [{'label': '', 'scores': []} for _ in texts]
    kept = [i for i, text in enumerate(texts) if text.strip()]
    if kept:
        matrix = features.transform([texts[i] for i in kept])
        if options.classifier == 'knn':
            scores = classifier.predict_proba(matrix)
        else:
            scores = classifier.decision_function(matrix)
        for row, i in zip(scores, kept):
            order = np.argsort(-row, kind='stable')
            shown = order if top == 0 else order[:top]
            results[i] = {'label': categories[order[0]],
                          'scores': [{'category': categories[j], 'score': float(row[j])} for j in shown]}
    return results


log_lock = threading.Lock()


def log(line):
    with log_lock:
        sys.stderr.write(line + '\n')
        sys.stderr.flush()


class Handler(BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'  # keep-alive, as newsclass serve and any real client do
    # The head and the body go in two writes: without TCP_NODELAY the body waits for the
    # client's delayed acknowledgement (40 ms on Linux), which would measure Nagle, not the peer.
    disable_nagle_algorithm = True

    def log_message(self, format, *args):  # the access line below replaces http.server's own
        pass

    def reply(self, status, body, texts=None):
        data = json.dumps(body, ensure_ascii=False).encode('utf-8')
        self.send_response(status)
        self.send_header('Content-Type', 'application/json')
        self.send_header('Content-Length', str(len(data)))
        self.end_headers()
        self.wfile.write(data)
        self.wfile.flush()
        line = '%s:%d "%s %s" %d %d bytes %.3f ms' % (
            self.client_address[0], self.client_address[1], self.command, self.path, status,
            len(data), (time.perf_counter() - self.began) * 1000)
        if texts is not None:
            line += ' texts %d model 1' % texts
        log(line)

    def do_GET(self):
        self.began = time.perf_counter()
        if self.path == '/v1/health':
            self.reply(200, {'status': 'ready', 'model': model_summary})
        else:
            self.reply(404, {'error': 'no such path: ' + self.path})

    def do_POST(self):
        self.began = time.perf_counter()
        if self.path != '/v1/predict':
            return self.reply(404, {'error': 'no such path: ' + self.path})
        try:
            request = json.loads(self.rfile.read(int(self.headers.get('Content-Length', 0))))
            texts, top = request['texts'], int(request.get('top', 0))
            if not isinstance(texts, list) or not texts or not all(isinstance(t, str) for t in texts):
                raise ValueError('"texts" must be a list of strings')
        except (ValueError, KeyError, TypeError) as error:
            return self.reply(400, {'error': str(error)})
        self.reply(200, {'model': model_summary, 'results': answer(texts, top)}, len(texts))


server = ThreadingHTTPServer((options.host, options.port), Handler)
server.daemon_threads = True
signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())
log('peer serve: listening on http://%s:%d (%s trained on %d headlines in %.2f s)'
    % (options.host, server.server_address[1], options.classifier, len(train_text), trained))
server.serve_forever()
server.server_close()
