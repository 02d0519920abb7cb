#!/usr/bin/python3
"""The job newsclass does, done the way users would otherwise do it: jieba segmentation (no
unknown-word model) with the same stop words and digit removal, TfidfVectorizer, SelectKBest with
chi2, KNeighborsClassifier with cosine distance and uniform weights. Prints one JSON object with
the seconds of each step, the peak memory and the macro F1.

With CLASSIFIER linearsvc (default knn), a LinearSVC (scikit-learn's defaults) over the TF-IDF
of all words replaces the selection and the KNN.

usage: peer_pipeline.py CORPUS.tsv[.gz] STOPWORDS K FEATURES [knn|linearsvc]"""
import gzip
import json
import re
import resource
import sys
import time

import jieba
from sklearn.feature_extraction.text import TfidfVectorizer
from sklearn.feature_selection import SelectKBest, chi2
from sklearn.metrics import f1_score
from sklearn.neighbors import KNeighborsClassifier

corpus_path, stopwords_path, k, features = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
peer_classifier = sys.argv[5] if len(sys.argv) > 5 else 'knn'
times = {}


def timed(name, fn):
    start = time.perf_counter()
    result = fn()
    times[name] = time.perf_counter() - start
    return result


opener = gzip.open if corpus_path.endswith('.gz') else open
train_text, train_label, test_text, test_label = [], [], [], []
with opener(corpus_path, 'rt', encoding='utf-8') as corpus:
    for line in corpus:
        fields = line.rstrip('\n').split('\t')
        if len(fields) != 4 or fields[0] not in ('train', 'test'):
            continue
        (train_text if fields[0] == 'train' else test_text).append(fields[3])
        (train_label if fields[0] == 'train' else test_label).append(fields[1])

with open(stopwords_path, encoding='utf-8') as f:
    stop_words = set(f.read().split())
digits = re.compile(r'\d+')
timed('load lexicon', lambda: jieba.initialize())


def tokenize(text):
    words = []
    for word in jieba.cut(text, HMM=False):
        word = digits.sub('', word).strip()
        if word and word not in stop_words:
            words.append(word)
    return words


train_words = timed('segment training', lambda: [tokenize(t) for t in train_text])
test_words = timed('segment testing', lambda: [tokenize(t) for t in test_text])
vectorizer = TfidfVectorizer(analyzer=lambda words: words)
train_matrix = timed('tf-idf training', lambda: vectorizer.fit_transform(train_words))
if peer_classifier == 'linearsvc':
    from sklearn.svm import LinearSVC
    test_matrix = timed('tf-idf testing', lambda: vectorizer.transform(test_words))
    predicted = timed('linearsvc', lambda: LinearSVC().fit(train_matrix, train_label).predict(test_matrix))
else:
    selector = SelectKBest(chi2, k=min(features, train_matrix.shape[1]))
    train_selected = timed('chi2 selection', lambda: selector.fit_transform(train_matrix, train_label))
    test_selected = timed('tf-idf testing',
                          lambda: selector.transform(vectorizer.transform(test_words)))
    classifier = KNeighborsClassifier(n_neighbors=k, metric='cosine', weights='uniform', algorithm='brute')
    predicted = timed('knn', lambda: classifier.fit(train_selected, train_label).predict(test_selected))
macro_f1 = timed('evaluate', lambda: f1_score(test_label, predicted, average='macro'))
print(json.dumps({
    'times': times,
    'peak_mb': resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0,
    'macro_f1': macro_f1,
    'train': len(train_text), 'test': len(test_text),
}))
